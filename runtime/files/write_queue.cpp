#include "runtime/files/write_queue.h"

#include <deque>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace qm {
namespace {

// MinGW's thread model here is win32: no std::thread or std::mutex there.
#ifdef _WIN32
class Lock {
 public:
  void Acquire() { AcquireSRWLockExclusive(&lock_); }
  void Release() { ReleaseSRWLockExclusive(&lock_); }
  void Wait(CONDITION_VARIABLE& cv) { SleepConditionVariableSRW(&cv, &lock_, INFINITE, 0); }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};
class Signal {
 public:
  void Wait(Lock& lock) { lock.Wait(cv_); }
  void WakeAll() { WakeAllConditionVariable(&cv_); }

 private:
  CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};
#else
class Lock {
 public:
  void Acquire() { mutex_.lock(); }
  void Release() { mutex_.unlock(); }
  std::mutex& native() { return mutex_; }

 private:
  std::mutex mutex_;
};
class Signal {
 public:
  void Wait(Lock& lock) {
    std::unique_lock<std::mutex> held(lock.native(), std::adopt_lock);
    cv_.wait(held);
    held.release();
  }
  void WakeAll() { cv_.notify_all(); }

 private:
  std::condition_variable cv_;
};
#endif

class Held {
 public:
  explicit Held(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~Held() { lock_.Release(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  Lock& lock_;
};

// Few jobs in flight: each write job holds one of the caller's buffers.
constexpr std::size_t kMaxQueued = 64;

}  // namespace

struct WriteQueue::State {
  Lock lock;
  Signal changed;  // a job queued, a job done, or stop requested
  std::deque<Job> jobs;
  std::uint64_t posted = 0;
  std::uint64_t done = 0;
  bool failed = false;
  bool stop = false;
  bool running = false;
#ifdef _WIN32
  HANDLE thread = nullptr;
#else
  std::thread thread;
#endif

  void Run() {
    Held held(lock);
    for (;;) {
      while (jobs.empty() && !stop) changed.Wait(lock);
      if (jobs.empty()) return;
      Job job = std::move(jobs.front());
      jobs.pop_front();
      bool failedBefore = failed;
      lock.Release();
      bool ok = job(failedBefore);
      job = nullptr;  // its captures go now, outside the lock
      lock.Acquire();
      if (!ok) failed = true;
      ++done;
      changed.WakeAll();
    }
  }
};

#ifdef _WIN32
namespace {
DWORD WINAPI RunQueue(void* state) {
  static_cast<WriteQueue::State*>(state)->Run();
  return 0;
}
}  // namespace
#endif

WriteQueue::WriteQueue() : state_(std::make_unique<State>()) {
#ifdef _WIN32
  state_->thread = CreateThread(nullptr, 64 * 1024, RunQueue, state_.get(),
                                STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  state_->running = state_->thread != nullptr;
#else
  state_->thread = std::thread([s = state_.get()] { s->Run(); });
  state_->running = true;
#endif
}

WriteQueue::~WriteQueue() {
  if (!state_->running) return;
  {
    Held held(state_->lock);
    state_->stop = true;
    state_->changed.WakeAll();
  }
#ifdef _WIN32
  WaitForSingleObject(state_->thread, INFINITE);
  CloseHandle(state_->thread);
#else
  state_->thread.join();
#endif
}

bool WriteQueue::Running() const { return state_->running; }

std::uint64_t WriteQueue::Post(Job job) {
  State& s = *state_;
  Held held(s.lock);
  while (s.posted - s.done >= kMaxQueued) s.changed.Wait(s.lock);
  s.jobs.push_back(std::move(job));
  s.changed.WakeAll();
  return ++s.posted;
}

bool WriteQueue::WaitFor(std::uint64_t done) {
  State& s = *state_;
  Held held(s.lock);
  while (s.done < done && !s.failed) s.changed.Wait(s.lock);
  return !s.failed;
}

bool WriteQueue::WaitForAll() {
  State& s = *state_;
  Held held(s.lock);
  while (s.done < s.posted) s.changed.Wait(s.lock);
  return !s.failed;
}

}  // namespace qm
