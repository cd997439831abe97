#pragma once
// Wakes one waiting thread (the encoder) when anything it waits for changed: Start, Pause and
// Stop always; audio delivered only while the waiter waits for audio (a frame is due and a
// source has not covered it yet). Waiting for the clock alone, a delivery changes nothing, and
// waking for each one would cost a context switch per poll of every source. Counts of both
// make a change between looking and waiting count.
//
// Threads: Notify and NotifyDelivery from any thread; Look and WaitUntil from the waiting
// thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zav {

class WakeSignal {
 public:
  struct Seen {
    uint64_t changes = 0;
    uint64_t deliveries = 0;
  };

  Seen Look() const {
    std::lock_guard lock(mutex_);
    return {changes_, deliveries_};
  }
  void Notify() {
    {
      std::lock_guard lock(mutex_);
      ++changes_;
    }
    changed_.notify_all();
  }
  void NotifyDelivery() {
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      ++deliveries_;
      wake = waitsForAudio_;
    }
    if (wake) changed_.notify_all();
  }
  // Returns at deadlineMs (steady clock, ms), or earlier once a change came after `seen`, or,
  // with forAudio, a delivery.
  void WaitUntil(int64_t deadlineMs, Seen seen, bool forAudio) {
    using namespace std::chrono;
    std::unique_lock lock(mutex_);
    waitsForAudio_ = forAudio;
    changed_.wait_until(lock, steady_clock::time_point(milliseconds(deadlineMs)), [&] {
      return changes_ != seen.changes || (forAudio && deliveries_ != seen.deliveries);
    });
    waitsForAudio_ = false;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t changes_ = 0;
  uint64_t deliveries_ = 0;
  bool waitsForAudio_ = false;
};

}  // namespace zav
