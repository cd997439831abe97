#pragma once
// The time a recording has run, unpaused, counted in samples at the output rate: the length
// the file must have. Every source's audio is placed on this clock and the encoder never gets
// ahead of it.
//
// Threads: Run and Hold from the owner's thread; the reads from any thread.

#include <cstdint>
#include <mutex>

namespace zav {

class RecordingClock {
 public:
  explicit RecordingClock(int rate) : rate_(rate) {}

  // Starts or resumes counting at nowMs (steady clock, milliseconds).
  void Run(int64_t nowMs) {
    std::lock_guard lock(mutex_);
    if (runningSinceMs_ < 0) runningSinceMs_ = nowMs;
  }
  // Pauses or stops counting at nowMs.
  void Hold(int64_t nowMs) {
    std::lock_guard lock(mutex_);
    if (runningSinceMs_ < 0) return;
    heldMs_ += nowMs > runningSinceMs_ ? nowMs - runningSinceMs_ : 0;
    runningSinceMs_ = -1;
  }

  // Samples of unpaused time until nowMs.
  int64_t PositionAt(int64_t nowMs) const {
    std::lock_guard lock(mutex_);
    return MsAt(nowMs) * rate_ / 1000;
  }
  // The steady-clock time at which the position reaches `samples`, or -1 while held or when
  // it never will (past the limit).
  int64_t TimeOf(int64_t samples) const {
    std::lock_guard lock(mutex_);
    if (runningSinceMs_ < 0) return -1;
    const int64_t ms = (samples * 1000 + rate_ - 1) / rate_;
    if (limitMs_ > 0 && ms > limitMs_) return -1;
    return runningSinceMs_ + (ms > heldMs_ ? ms - heldMs_ : 0);
  }
  bool running() const {
    std::lock_guard lock(mutex_);
    return runningSinceMs_ >= 0;
  }
  // The clock stops at `ms` of unpaused time, however late the hold comes: a recording of a
  // fixed length is that long even when the thread that stops it is kept waiting.
  void Limit(int64_t ms) {
    std::lock_guard lock(mutex_);
    limitMs_ = ms;
  }
  int rate() const { return rate_; }

 private:
  int64_t MsAt(int64_t nowMs) const {
    const int64_t ms = runningSinceMs_ < 0 || nowMs <= runningSinceMs_ ? heldMs_ : heldMs_ + nowMs - runningSinceMs_;
    return limitMs_ > 0 && ms > limitMs_ ? limitMs_ : ms;
  }

  const int rate_;
  mutable std::mutex mutex_;
  int64_t heldMs_ = 0;           // counted before the current run
  int64_t runningSinceMs_ = -1;  // -1 while held
  int64_t limitMs_ = 0;          // 0: none
};

}  // namespace zav
