// Rows of pixel work spread over the framework's small pool of worker
// threads.  Every package uses this one pool and its one thread-count
// setting.  A row is computed by one thread from start to end, so what a
// row computes does not depend on how many threads share the work; the
// caller gets the same result for every thread count.  Progress is handed to
// the calling thread only, as a count of finished rows that never goes back.
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
