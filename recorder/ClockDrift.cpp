#include "ClockDrift.h"

#include <algorithm>

namespace zav {
namespace {

// The offset is measured to a packet (10-50 ms); smoothing it keeps the correction steady.
constexpr double kSmoothingSeconds = 0.3;
// The control's natural frequency (1/s), critically damped: a 3 % clock difference stays
// within a few tens of milliseconds, and the correction hardly moves with the measurement's
// jitter.
constexpr double kOmega = 0.5;
constexpr double kProportional = 2 * kOmega;
constexpr double kIntegral = kOmega * kOmega;
// Offsets within this are the measurement's own jitter and left alone, so that a source on
// time is never resampled (the correction would only wobble the pitch).
constexpr double kDeadbandSeconds = 0.012;
// Once lined up, the offset is averaged this long before it is controlled: the positions at
// the moment of lining up are off by up to a packet, and that error must not be corrected ever after.
constexpr double kSettleSeconds = 0.5;
// A longer step between two reports (a late wake-up) counts only this much.
constexpr double kMaxStepSeconds = 0.2;

}  // namespace

double ClockDrift::Update(int64_t clockSamples, int64_t sourceSamples, bool heard, bool realigned) {
  const double step =
      lastClock_ < 0 ? 0 : std::clamp(static_cast<double>(clockSamples - lastClock_) / rate_, 0.0, kMaxStepSeconds);
  lastClock_ = clockSamples;
  if (realigned) lined_ = false;
  if (!heard) return Correction();
  if (!lined_) {
    sourceReference_ = sourceSamples;
    clockReference_ = static_cast<double>(clockSamples);
    offset_ = 0;
    settleUntil_ = clockSamples + static_cast<int64_t>(kSettleSeconds * rate_);
    settleSum_ = 0;
    settleCount_ = 0;
    lined_ = true;
    return Correction();
  }
  double offset = ((sourceSamples - sourceReference_) - (clockSamples - clockReference_)) / rate_;
  if (clockSamples < settleUntil_) {
    settleSum_ += offset;
    ++settleCount_;
    return Correction();
  }
  if (settleCount_ > 0) {
    // The reference moves to the mean offset of the settling time.
    clockReference_ -= settleSum_ / settleCount_ * rate_;
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

double ClockDrift::Correction() const {
  // Without a fresh offset only the learnt clock ratio applies.
  return std::clamp(-kIntegral * integral_, -kMaxCorrection, kMaxCorrection);
}

}  // namespace zav
