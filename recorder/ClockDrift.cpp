#include "ClockDrift.h"

#include <algorithm>

namespace zav {
namespace {

// System sound counts as flowing when it was reported this recently; the count is carried
// forward at the nominal rate between reports.
constexpr int64_t kFreshMs = 200;
// The offset is measured to a packet (10-50 ms); smoothing it keeps the correction steady.
constexpr double kSmoothingSeconds = 0.3;
// The control's natural frequency (1/s), critically damped: a 2 % clock difference stays
// within about 15 ms, and the correction hardly moves with the measurement's jitter.
constexpr double kOmega = 0.5;
constexpr double kProportional = 2 * kOmega;
constexpr double kIntegral = kOmega * kOmega;
// Offsets within this are the measurement's own jitter and left alone, so that two sources in
// step are never resampled (the correction would only wobble the pitch).
constexpr double kDeadbandSeconds = 0.012;
// Once lined up, the offset is averaged this long before it is controlled: the counts at the
// moment of lining up are off by up to a packet, and that error must not be corrected ever after.
constexpr int64_t kSettleMs = 500;
// A longer gap between two microphone reports (a pause) does not count as elapsed time.
constexpr double kMaxStepSeconds = 0.2;

}  // namespace

void ClockDrift::OnSystemSound(int64_t nowMs, int64_t samples, bool restarted) {
  std::lock_guard lock(mutex_);
  speakerSamples_ += samples;
  speakerAtMs_ = nowMs;
  if (restarted) lined_ = false;
}

double ClockDrift::OnMicrophone(int64_t nowMs, int64_t samples, bool heard) {
  std::lock_guard lock(mutex_);
  micSamples_ += samples;
  const double step = lastMicMs_ < 0 ? 0 : std::min((nowMs - lastMicMs_) / 1000.0, kMaxStepSeconds);
  lastMicMs_ = nowMs;
  if (!heard || speakerAtMs_ < 0 || nowMs - speakerAtMs_ > kFreshMs) return CorrectionLocked();
  const double speakerNow = speakerSamples_ + static_cast<double>(nowMs - speakerAtMs_) * rate_ / 1000.0;
  if (!lined_) {
    micReference_ = micSamples_;
    speakerReference_ = speakerNow;
    offset_ = 0;
    settleUntilMs_ = nowMs + kSettleMs;
    settleSum_ = 0;
    settleCount_ = 0;
    lined_ = true;
    return CorrectionLocked();
  }
  double offset = ((micSamples_ - micReference_) - (speakerNow - speakerReference_)) / rate_;
  if (nowMs < settleUntilMs_) {
    settleSum_ += offset;
    ++settleCount_;
    return CorrectionLocked();
  }
  if (settleCount_ > 0) {
    // The reference moves to the mean offset of the settling time.
    speakerReference_ -= settleSum_ / settleCount_ * rate_;
    offset -= settleSum_ / settleCount_;
    settleCount_ = 0;
  }
  offset_ += (offset - offset_) * std::min(step / kSmoothingSeconds, 1.0);
  const double excess = offset_ - std::clamp(offset_, -kDeadbandSeconds, kDeadbandSeconds);
  // The integral alone may not ask for more than the largest correction (no wind-up).
  const double integralLimit = kMaxCorrection / kIntegral;
  integral_ = std::clamp(integral_ + excess * step, -integralLimit, integralLimit);
  return std::clamp(-(kProportional * excess + kIntegral * integral_), -kMaxCorrection, kMaxCorrection);
}

double ClockDrift::CorrectionLocked() const {
  // Without a fresh offset only the learnt clock ratio applies.
  return std::clamp(-kIntegral * integral_, -kMaxCorrection, kMaxCorrection);
}

double ClockDrift::offsetSeconds() const {
  std::lock_guard lock(mutex_);
  return offset_;
}

}  // namespace zav
