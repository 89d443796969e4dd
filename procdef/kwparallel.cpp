#include "procdef/kwparallel.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <sched.h>

#include <thread>
#include <vector>

namespace {

// A positive KW_THREADS, or 0.
int EnvironmentThreadCount() {
  if (const char* env = std::getenv("KW_THREADS")) {
    char* end = nullptr;
    const long n = std::strtol(env, &end, 10);
    if (end != env && *end == 0 && n > 0) return int(std::min(n, 256L));
  }
  return 0;
}

// The processors this process may run on (taskset, cgroup cpusets), not all
// the machine has: more threads than that only take turns.
int HardwareThreadCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  return int(std::max(1u, std::thread::hardware_concurrency()));
}

int DefaultThreadCount() {
  const int env = EnvironmentThreadCount();
  return env > 0 ? env : HardwareThreadCount();
}

std::atomic<int>& ThreadCountSetting() {
  static std::atomic<int> count{DefaultThreadCount()};
  return count;
}

// One call of KWRunRows.  Lives on the caller's stack; the caller leaves
// only when no worker is inside it any more.
struct Job {
  explicit Job(const TKWRowJob& s, int helpers) : task(s), maxHelpers(helpers) {}
  const TKWRowJob& task;
  const int maxHelpers;
  std::atomic<int> next{0};
  std::atomic<bool> stop{false};  // a row raised
  int helpersJoined = 0;          // guarded by the lane's mutex

  std::mutex m;  // guards the fields below
  std::condition_variable cv;
  int helpersActive = 0;
  int done = 0;
  std::exception_ptr error;

  bool Take(int& row) {
    if (stop.load(std::memory_order_relaxed)) return false;
    if (task.Cancel && task.Cancel->load(std::memory_order_relaxed)) return false;
    if (next.load(std::memory_order_relaxed) >= task.Count) return false;
    row = next.fetch_add(1);
    return row < task.Count;
  }
  bool Open() const {
    return helpersJoined < maxHelpers && !stop.load(std::memory_order_relaxed) &&
           next.load(std::memory_order_relaxed) < task.Count;
  }
  void Fail(std::exception_ptr e) {
    std::lock_guard lk(m);
    if (!error) error = e;
    stop = true;
  }
  // One row, counted as finished whether or not it raised.
  void Run(int row) {
    try {
      task.Row(row);
    } catch (...) {
      Fail(std::current_exception());
    }
    std::lock_guard lk(m);
    ++done;
    cv.notify_all();
  }
};

class Lane {
 public:
  explicit Lane(bool idle) : idle_(idle) {}
  ~Lane() {
    {
      std::lock_guard lk(m_);
      stop_ = true;
    }
    cv_.notify_all();
    for (auto& t : threads_) t.join();
  }

  void Add(Job* job, int helpers) {
    {
      std::lock_guard lk(m_);
      while (int(threads_.size()) < helpers) threads_.emplace_back([this] { Serve(); });
      jobs_.push_back(job);
    }
    cv_.notify_all();
  }
  void Remove(Job* job) {
    std::lock_guard lk(m_);
    jobs_.erase(std::remove(jobs_.begin(), jobs_.end(), job), jobs_.end());
  }

 private:
  Job* Find() {
    for (Job* j : jobs_)
      if (j->Open()) return j;
    return nullptr;
  }

  void Serve() {
    if (idle_) setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 19);
    std::unique_lock lk(m_);
    for (;;) {
      Job* job = nullptr;
      cv_.wait(lk, [&] { return stop_ || (job = Find()) != nullptr; });
      if (stop_) return;
      ++job->helpersJoined;
      {
        std::lock_guard jl(job->m);
        ++job->helpersActive;
      }
      lk.unlock();
      int row;
      while (job->Take(row)) job->Run(row);
      {
        // The caller may free the job as soon as this lock is released.
        std::lock_guard jl(job->m);
        --job->helpersActive;
        job->cv.notify_all();
      }
      lk.lock();
    }
  }

  const bool idle_;
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<Job*> jobs_;
  std::vector<std::thread> threads_;
  bool stop_ = false;
};

Lane& LaneOf(TKWWorkPriority p) {
  static Lane normal(false), idle(true);
  return p == TKWWorkPriority::wpIdle ? idle : normal;
}

}  // namespace

int KWThreadCount() { return ThreadCountSetting().load(); }

void KWSetThreadCount(int count) {
  ThreadCountSetting() = count >= 1 ? std::min(count, 256) : DefaultThreadCount();
}

namespace {
std::atomic<int> threadOption{0};
}

int KWThreadOption() { return threadOption.load(); }

void KWSetThreadOption(int count) {
  threadOption = std::max(count, 0);
  const int env = EnvironmentThreadCount();
  ThreadCountSetting() = env > 0 ? env : count >= 1 ? std::min(count, 256) : HardwareThreadCount();
}

void KWRunRows(const TKWRowJob& task) {
  if (task.Count <= 0 || !task.Row) return;
  const int helpers = std::min(KWThreadCount() - 1, task.Count - 1);
  if (helpers <= 0) {
    for (int row = 0; row < task.Count; ++row) {
      if (task.Cancel && task.Cancel->load(std::memory_order_relaxed)) return;
      task.Row(row);
      if (task.Progress) task.Progress(row + 1);
    }
    return;
  }

  Job job(task, helpers);
  Lane& lane = LaneOf(task.Priority);
  lane.Add(&job, helpers);
  int reported = 0;
  auto report = [&](int done) {
    if (done <= reported) return;
    reported = done;
    if (!task.Progress) return;
    try {
      task.Progress(done);
    } catch (...) {
      job.Fail(std::current_exception());
    }
  };
  auto finished = [&] {
    std::lock_guard lk(job.m);
    return job.done;
  };
  int row;
  while (job.Take(row)) {
    job.Run(row);
    report(finished());
  }
  lane.Remove(&job);
  {
    std::unique_lock lk(job.m);
    for (;;) {
      const int done = job.done;
      if (done > reported) {
        lk.unlock();
        report(done);
        lk.lock();
        continue;
      }
      if (job.helpersActive == 0) break;
      job.cv.wait(lk);
    }
  }
  if (job.error) std::rethrow_exception(job.error);
}
