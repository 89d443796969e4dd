// Rows of pixel work spread over the framework's small pool of worker
// threads.  Every package uses this one pool and its one thread-count
// setting.  A row is computed by one thread from start to end, so what a
// row computes does not depend on how many threads share the work; the
// caller gets the same result for every thread count.  Progress is handed to
// the calling thread only, as a count of finished rows that never goes back.
//
// A filter spreads its rows like this (the polar transform and the Julia
// set do so; see proclib/kwpoler.cpp):
//
//   TKWRowJob job;
//   job.Count = H;                        // or the number of bands of rows
//   job.Row = [&](int y) { ... write row y of Dst only ... };
//   job.Progress = [&](int done) { ... Progress(...) for the rows done ... };
//   KWRunRows(job);
//
// What keeps the result the same for every thread count:
// - a row writes only its own part of the output and reads only what no
//   row writes (the source, tables made before the call);
// - what depends on all rows (a largest value, a sum) is kept per row and
//   combined in row order after KWRunRows returns;
// - a row that must stop early (a failure rule of the filter) stops itself;
//   the others go on.
// Rows run on threads without an event loop: they never touch widgets or
// other Qt objects of the main thread, and they report nothing themselves
// (Progress does, on the calling thread).  KWRunRows may be called from a
// row; the inner rows then mostly run on that row's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "procdef/kwprcdef_api.h"

enum class TKWWorkPriority : uint8_t {
  wpNormal,  // threads at the priority of the program
  wpIdle,    // threads at the lowest priority: background work that yields to the user
};

// Threads that pixel work may use, the calling thread included (at least 1).
// Starts as the environment variable KW_THREADS when it holds a positive
// number, otherwise as the number of hardware threads.
KWPRCDEF_API int KWThreadCount();
// A count below 1 goes back to the start value.
KWPRCDEF_API void KWSetThreadCount(int count);
// The count the user chose (the options; "Threads" in KW.ini), 0 or less
// for every hardware thread.  A positive KW_THREADS in the environment stays
// in force over it.
KWPRCDEF_API void KWSetThreadOption(int count);
// The count last given to KWSetThreadOption (0 when none was).
KWPRCDEF_API int KWThreadOption();

struct TKWRowJob {
  int Count = 0;  // rows 0 .. Count - 1
  // Computes one row; runs on the calling thread or on a worker thread.
  std::function<void(int Row)> Row;
  // Called on the calling thread, each time with more finished rows than
  // the time before (the last call has Count unless the work stopped early).
  std::function<void(int Done)> Progress;
  // When set and true, rows not yet started are skipped.
  const std::atomic<bool>* Cancel = nullptr;
  TKWWorkPriority Priority = TKWWorkPriority::wpNormal;
};

// Runs every row of job once, on the calling thread and up to
// KWThreadCount() - 1 workers, and returns when no row is running any more.
// An exception raised by a row stops the rows not yet started and is raised
// again here.
KWPRCDEF_API void KWRunRows(const TKWRowJob& job);
