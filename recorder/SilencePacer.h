#pragma once
// Paces frames of silence at real-time speed: a frame is due when the time since the
// origin covers it; when behind, frames follow without sleeping until caught up. Pure.

#include <cstdint>

namespace zav {

class SilencePacer {
 public:
  SilencePacer(int sampleRate, int frameSize) : sampleRate_(sampleRate), frameSize_(frameSize) {}

  void Restart(int64_t nowMs) {
    originMs_ = nowMs;
    paced_ = 0;
  }

  // How long to sleep before producing the next frame; counts that frame as paced.
  int NextDelayMs(int64_t nowMs) {
    const int64_t expected = (nowMs - originMs_) * sampleRate_ / (1000LL * frameSize_);
    int64_t delay = 0;
    if (paced_ >= expected) {
      // Sleep until the start of the frame after the ones already paced.
      const int64_t dueMs = originMs_ + (paced_ * frameSize_ * 1000LL + sampleRate_ - 1) / sampleRate_;
      delay = dueMs > nowMs ? dueMs - nowMs : 0;
    }
    ++paced_;
    return static_cast<int>(delay);
  }

  int64_t paced() const { return paced_; }

 private:
  int sampleRate_;
  int frameSize_;
  int64_t originMs_ = 0;
  int64_t paced_ = 0;
};

}  // namespace zav
