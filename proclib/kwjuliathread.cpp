#include "proclib/kwjuliathread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <string>

#include "platform/sysutils.h"

namespace kwlib {

struct TJuliaThread::Task {
  Task(const TKWJuliaParam& p, int W, int H) : comp(p, W, H) {}
  TJuliaComputation comp;
  TBitmap* target = nullptr;  // guarded by target_
  bool real = false;
  bool taken = false;  // the worker has started it (guarded by m_)
  uint64_t sequence = 0;
  std::atomic<bool> cancelled{false};
  std::atomic<bool> finished{false};
  std::string error;  // set before finished
};

namespace {

constexpr int kWoken = 0x4A55;  // the exit code of a wait that saw its end

void LowestPriority() { setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 19); }

}  // namespace

TJuliaThread::TJuliaThread() : context_(std::make_unique<QObject>()) {
  thread_ = std::thread([this] { Execute(); });
}

TJuliaThread::~TJuliaThread() {
  {
    std::lock_guard lk(m_);
    terminated_ = true;
    if (current_) abandonLocked();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  // Calls still queued for the main thread are dropped with their receiver.
  context_.reset();
}

void TJuliaThread::abandonLocked() {
  current_->cancelled = true;
  {
    std::unique_lock tl(target_);
    current_->target = nullptr;
  }
  current_.reset();
}

std::shared_ptr<TJuliaThread::Task> TJuliaThread::start(TBitmap* Bitmap, const TKWJuliaParam& p, bool Real) {
  // The buffers are allocated here, outside the lock.
  auto t = std::make_shared<Task>(p, Bitmap->Width(), Bitmap->Height());
  t->target = Bitmap;
  t->real = Real;
  if (!Real) t->sequence = ++previewSequence_;
  bool previewTakenOver = false;
  {
    std::lock_guard lk(m_);
    if (current_) {
      previewTakenOver = Real && !current_->real;
      abandonLocked();
    }
    current_ = t;
  }
  wake_.notify_all();
  if (previewTakenOver)
    QMetaObject::invokeMethod(
        context_.get(), [this] { if (OnAbandoned) OnAbandoned(this); }, Qt::QueuedConnection);
  return t;
}

void TJuliaThread::Calculate(TBitmap* Bitmap, const TKWJuliaParam& p, bool Real) {
  if (!Bitmap || Bitmap->PixelFormat() != pf32bit) throw Exception("The Julia set needs a 32-bit image.");
  start(Bitmap, p, Real);
}

void TJuliaThread::Cancel(TBitmap* Bitmap) {
  std::lock_guard lk(m_);
  if (!current_) return;
  bool mine;
  {
    std::shared_lock tl(target_);
    mine = current_->target == Bitmap;
  }
  if (mine) abandonLocked();
}

bool TJuliaThread::Running() const {
  std::lock_guard lk(m_);
  return current_ != nullptr;
}

bool TJuliaThread::Generating() const {
  std::lock_guard lk(m_);
  return current_ && current_->real;
}

bool TJuliaThread::WaitUntil(const std::function<bool()>& done) {
  if (done()) return true;
  // The user interface stays alive; the state is looked at every 5 ms.
  // When the program quits, every event loop of the main thread ends,
  // this one with another code.
  QEventLoop loop;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
    if (done()) loop.exit(kWoken);
  });
  timer.start(5);
  return loop.exec() == kWoken;
}

bool TJuliaThread::Generate(TBitmap* Bitmap, const TKWJuliaParam& p) {
  // A generation started while another one runs waits for it.
  if (!WaitUntil([this] { return !Generating(); })) return false;
  if (!Bitmap || Bitmap->PixelFormat() != pf32bit) throw Exception("The Julia set needs a 32-bit image.");
  std::shared_ptr<Task> t = start(Bitmap, p, true);
  if (!WaitUntil([&t] { return t->finished.load() || t->cancelled.load(); })) {
    Cancel(Bitmap);
    return false;
  }
  if (!t->finished) throw Exception("The Julia set was not finished: another computation took its place.");
  if (!t->error.empty()) throw Exception(t->error);
  return true;
}

void TJuliaThread::Execute() {
  LowestPriority();
  for (;;) {
    std::shared_ptr<Task> t;
    {
      std::unique_lock lk(m_);
      wake_.wait(lk, [&] { return terminated_ || (current_ && !current_->taken); });
      if (terminated_) return;
      t = current_;
      t->taken = true;
    }
    const int H = t->comp.Height();
    uint32_t last = GetTickCount();
    auto rowsDone = [&](int done) {
      if (!t->real) return;
      const uint32_t now = GetTickCount();
      if (now - last <= 2000) return;
      last = now;
      const float rate = float(double(done) / H);
      QMetaObject::invokeMethod(
          context_.get(),
          [this, t, rate] {
            if (!t->cancelled && !t->finished && RowProgress) RowProgress(rate);
          },
          Qt::QueuedConnection);
    };
    try {
      if (ComputeJuliaRows(t->comp, &t->cancelled, true, rowsDone))
        ColourJuliaRows(t->comp, true, [&](int r) {
          // Row by row, so that taking the target away waits one row at most.
          std::shared_lock tl(target_);
          if (t->target) t->comp.ColourRow(r, t->target->Row32(r));
        });
    } catch (const std::exception& e) {
      t->error = e.what();
    } catch (...) {
      t->error = "The Julia set computation failed.";
    }
    {
      std::unique_lock tl(target_);
      t->target = nullptr;
    }
    t->comp.ReleaseBuffers();
    bool ended = false;
    {
      std::lock_guard lk(m_);
      if (current_ == t) {
        current_.reset();
        ended = true;
      }
    }
    if (!ended) continue;  // abandoned
    t->finished = true;
    if (!t->real)
      QMetaObject::invokeMethod(
          context_.get(),
          [this, t] {
            // Only the newest preview is announced.
            if (t->sequence == previewSequence_ && OnFinished) OnFinished(this);
          },
          Qt::QueuedConnection);
  }
}

}  // namespace kwlib
