// THistgram: the histogram worker of the binarize, gamma and flattening
// panels.  One background thread per panel, at the lowest priority, counts
// the red, green, blue and luminance histograms of the last requested image
// row by row; a new request restarts the pass between two rows.  Only
// complete histograms are published, and completion is reported on the main
// thread (through the Qt event loop).  The owner destroys it in the main
// thread; the destructor stops the thread and waits for it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/bitmap.h"
#include "proclib/luminance.h"

class QObject;

namespace kwlib {

// A published result: the four histograms (red at 0, green at 256, blue at
// 512, luminance at 768 of Hist) and the pixel count of the image they count
// (1 before the first pass, so that it can divide).
struct THistResult {
  uint32_t Hist[1024] = {};
  uint32_t PixelCount = 1;
  const uint32_t* Red() const { return Hist; }
  const uint32_t* Green() const { return Hist + 256; }
  const uint32_t* Blue() const { return Hist + 512; }
  const uint32_t* Lum() const { return Hist + 768; }
};

class THistgram {
 public:
  // Starts the thread unless createSuspended (then Start does).
  explicit THistgram(bool createSuspended);
  ~THistgram();
  THistgram(const THistgram&) = delete;
  THistgram& operator=(const THistgram&) = delete;

  void Start();
  // Tells the thread to stop after the current row, and waits for it.
  void Terminate();

  // Starts a new pass on a copy of bitmap (asynchronous).  A pass already
  // running is abandoned; the published result stays the last complete one.
  void Request(const TBitmap& bitmap);
  // Counts bitmap and publishes the result before returning; no finish
  // event for this pass.  Works without the thread too.
  void MakeHistgram(const TBitmap& bitmap);
  // A copy of the published result, taken under the lock.
  THistResult GetHistgram() const;

  // Count red, green and blue too (otherwise luminance only).
  void SetAllChannels(bool all);
  bool AllChannels() const;

  // Called on the main thread after each asynchronous pass.
  std::function<void(THistgram* Sender)> OnFinish;

  // True while a requested pass has not completed.
  bool Busy() const;

 private:
  void Execute();
  void SendFinishEvent();
  void requestLocked(std::shared_ptr<const TBitmap> image, bool quiet);

  mutable std::mutex cs_;
  std::condition_variable wake_;  // request or stop
  std::condition_variable done_;  // a pass completed
  THistArrays work_{};
  THistResult published_;
  std::shared_ptr<const TBitmap> requested_;
  int row_ = 0;
  bool all_ = false;
  bool quiet_ = false;  // the running pass reports no finish event
  bool terminated_ = false;
  std::thread thread_;
  std::unique_ptr<QObject> context_;  // receiver of the queued finish calls
};

// The four histograms of a whole bitmap, counted in the caller's thread.
void CountHistograms(const TBitmap& bitmap, bool all, THistArrays& h);

}  // namespace kwlib
