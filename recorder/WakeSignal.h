#pragma once
// Wakes one waiting thread (the encoder) when anything it waits for changed: audio delivered,
// Start, Pause, Stop. A generation count makes a change between looking and waiting count.
//
// Threads: Notify from any thread; generation and WaitUntil from the waiting thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zav {

class WakeSignal {
 public:
  uint64_t generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
  }
  void Notify() {
    {
      std::lock_guard lock(mutex_);
      ++generation_;
    }
    changed_.notify_all();
  }
  // Returns when the generation is no longer `seen`, or at deadlineMs (steady clock, ms).
  void WaitUntil(int64_t deadlineMs, uint64_t seen) {
    using namespace std::chrono;
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, steady_clock::time_point(milliseconds(deadlineMs)),
                        [&] { return generation_ != seen; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t generation_ = 0;
};

}  // namespace zav
