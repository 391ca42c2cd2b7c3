// One background thread that runs jobs in the order they were posted, so that
// extraction can inflate the next block while the last one is being written.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace qm {

class WriteQueue {
 public:
  // Runs with failed set once an earlier job has returned false: it must
  // then only clean up (close what an earlier job opened) and write nothing.
  using Job = std::function<bool(bool failed)>;

  WriteQueue();
  // Runs whatever is still queued, then stops the thread.
  ~WriteQueue();
  WriteQueue(const WriteQueue&) = delete;
  WriteQueue& operator=(const WriteQueue&) = delete;

  // False when the thread could not be started: the caller works alone then.
  bool Running() const;

  // Queues job and returns its number (from 1); waits while many are queued.
  std::uint64_t Post(Job job);
  // Waits until job number `done` (and every one before it) has run; false
  // once any job has failed.
  bool WaitFor(std::uint64_t done);
  bool WaitForAll();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace qm
