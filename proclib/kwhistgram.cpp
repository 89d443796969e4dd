#include "proclib/kwhistgram.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <chrono>
#include <cstring>

namespace kwlib {

namespace {

// A 32-bit copy of any bitmap: the worker then reads rows of its own.
std::shared_ptr<const TBitmap> Snapshot(const TBitmap& b) {
  auto copy = std::make_shared<TBitmap>();
  copy->Assign(b);
  if (copy->PixelFormat() != pf32bit) copy->SetPixelFormat(pf32bit);
  return copy;
}

void LowestPriority() {
  // On Linux the nice value is per thread.
  setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 19);
}

}  // namespace

void CountHistograms(const TBitmap& bitmap, bool all, THistArrays& h) {
  std::memset(&h, 0, sizeof h);
  std::shared_ptr<const TBitmap> own;
  const TBitmap* b = &bitmap;
  if (bitmap.PixelFormat() != pf32bit) {
    own = Snapshot(bitmap);
    b = own.get();
  }
  for (int y = 0; y < b->Height(); ++y) CountRow(b->Row32(y), b->Width(), all, h);
}

THistgram::THistgram(bool createSuspended) : context_(std::make_unique<QObject>()) {
  if (!createSuspended) Start();
}

THistgram::~THistgram() { Terminate(); }

void THistgram::Start() {
  std::lock_guard lock(cs_);
  if (thread_.joinable() || terminated_) return;
  thread_ = std::thread([this] { Execute(); });
}

void THistgram::Terminate() {
  {
    std::lock_guard lock(cs_);
    terminated_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  done_.notify_all();
}

void THistgram::SetAllChannels(bool all) {
  std::lock_guard lock(cs_);
  all_ = all;
}

bool THistgram::AllChannels() const {
  std::lock_guard lock(cs_);
  return all_;
}

bool THistgram::Busy() const {
  std::lock_guard lock(cs_);
  return requested_ != nullptr;
}

void THistgram::requestLocked(std::shared_ptr<const TBitmap> image, bool quiet) {
  std::memset(&work_, 0, sizeof work_);
  requested_ = std::move(image);
  row_ = 0;
  quiet_ = quiet;
}

void THistgram::Request(const TBitmap& bitmap) {
  auto snap = Snapshot(bitmap);  // copied outside the lock
  {
    std::lock_guard lock(cs_);
    requestLocked(std::move(snap), false);
  }
  wake_.notify_all();
}

void THistgram::MakeHistgram(const TBitmap& bitmap) {
  bool running;
  {
    std::lock_guard lock(cs_);
    running = thread_.joinable() && !terminated_;
  }
  if (!running) {
    // No worker to wait for: count here.
    THistArrays h;
    bool all = AllChannels();
    CountHistograms(bitmap, all, h);
    std::lock_guard lock(cs_);
    std::memcpy(published_.Hist, &h, sizeof h);
    published_.PixelCount = uint32_t(bitmap.Width()) * uint32_t(bitmap.Height());
    return;
  }
  // The caller waits, so the worker may read the caller's bitmap directly
  // when it already is a 32-bit one.
  std::shared_ptr<const TBitmap> img =
      bitmap.PixelFormat() == pf32bit
          ? std::shared_ptr<const TBitmap>(&bitmap, [](const TBitmap*) {})
          : Snapshot(bitmap);
  std::unique_lock lock(cs_);
  requestLocked(img, true);
  wake_.notify_all();
  // Poll every 10 ms (and wake early on completion) until the pass is done.
  while (requested_ == img && !terminated_) done_.wait_for(lock, std::chrono::milliseconds(10));
  if (requested_ == img) requested_.reset();  // stopped while counting: do not keep the pointer
}

THistResult THistgram::GetHistgram() const {
  std::lock_guard lock(cs_);
  return published_;
}

void THistgram::Execute() {
  LowestPriority();
  std::unique_lock lock(cs_);
  for (;;) {
    if (terminated_) return;
    if (!requested_) {
      wake_.wait_for(lock, std::chrono::milliseconds(20));
      continue;
    }
    // One row per turn of the lock, so that Request can restart the pass
    // between two rows.
    const TBitmap& img = *requested_;
    if (row_ < img.Height()) {
      CountRow(img.Row32(row_), img.Width(), all_, work_);
      ++row_;
      lock.unlock();
      lock.lock();
      continue;
    }
    published_.PixelCount = uint32_t(img.Width()) * uint32_t(img.Height());
    std::memcpy(published_.Hist, &work_, sizeof work_);
    requested_.reset();
    bool notify = !quiet_;
    done_.notify_all();
    if (notify && QCoreApplication::instance()) {
      // Delivered on the main thread; dropped if context_ is gone by then
      // (it is destroyed only after this thread has been joined).
      QMetaObject::invokeMethod(context_.get(), [this] { SendFinishEvent(); },
                                Qt::QueuedConnection);
    }
  }
}

void THistgram::SendFinishEvent() {
  if (OnFinish) OnFinish(this);
}

}  // namespace kwlib
