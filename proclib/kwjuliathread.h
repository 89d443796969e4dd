// TJuliaThread: the Julia set generator's worker, one per package.  It runs
// at the lowest priority and computes one image at a time, its rows spread
// over the framework's pool (at the lowest priority too).  A new
// computation handed to it between two rows takes it over; the one before
// is abandoned and never touches its bitmap again.  Progress (generations
// only, at most every 2000 ms) and the end of a preview reach the main
// thread through its event loop.  Created, used and destroyed on the main
// thread; the destructor stops the thread and waits for it.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "platform/bitmap.h"
#include "proclib/kwjulia.h"

class QObject;

namespace kwlib {

class TJuliaThread {
 public:
  TJuliaThread();
  ~TJuliaThread();
  TJuliaThread(const TJuliaThread&) = delete;
  TJuliaThread& operator=(const TJuliaThread&) = delete;

  // Starts a computation of Bitmap (32 bits, at least 1 x 1) with the
  // values of p and returns at once.  Real: a generation, which reports
  // progress through RowProgress; otherwise a preview, which calls
  // OnFinished when it is done.  A computation still running is abandoned;
  // a preview taken over by a generation is announced through OnAbandoned.
  void Calculate(TBitmap* Bitmap, const TKWJuliaParam& p, bool Real);
  // After this call the worker no longer touches Bitmap: a computation of
  // it is abandoned (nothing is announced).
  void Cancel(TBitmap* Bitmap);
  bool Running() const;     // a computation has not ended
  bool Generating() const;  // a generation has not ended

  // A whole generation: waits until no other generation runs, computes
  // Bitmap and waits until it is coloured, keeping the user interface alive
  // meanwhile.  False when the program quits before (Bitmap is then left
  // alone from the moment of the return).  A failure of the colouring is
  // raised.
  bool Generate(TBitmap* Bitmap, const TKWJuliaParam& p);

  std::function<void(float Rate)> RowProgress;
  std::function<void(TJuliaThread* Sender)> OnFinished;
  std::function<void(TJuliaThread* Sender)> OnAbandoned;

 private:
  struct Task;
  void Execute();
  std::shared_ptr<Task> start(TBitmap* Bitmap, const TKWJuliaParam& p, bool Real);
  // Drops the current computation (under m_).
  void abandonLocked();
  // Processes events until done() holds (true) or the program quits (false).
  static bool WaitUntil(const std::function<bool()>& done);

  mutable std::mutex m_;
  std::condition_variable wake_;
  std::shared_ptr<Task> current_;  // guarded by m_
  bool terminated_ = false;        // guarded by m_
  // Held shared while a row of a target is coloured, exclusively while a
  // target is taken away from its computation.
  std::shared_mutex target_;
  uint64_t previewSequence_ = 0;  // previews started (main thread only)
  std::unique_ptr<QObject> context_;  // receiver of the queued calls
  std::thread thread_;
};

}  // namespace kwlib
