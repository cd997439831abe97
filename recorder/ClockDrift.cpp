#include "ClockDrift.h"

#include <algorithm>
#include <cmath>

namespace zav {
namespace {

// The offset is measured to a packet (10-50 ms); smoothing it keeps the pull steady.
constexpr double kSmoothingSeconds = 0.3;
// Offsets within this are the measurement's own jitter and left alone, so that a source on
// time is never resampled (the correction would only wobble the pitch).
constexpr double kDeadbandSeconds = 0.012;
// Once the ratio is corrected, an offset within this stays where it is: pulled back from the
// dead band's edge, the measurement's jitter there would move the audio a little each time.
constexpr double kHeldSeconds = 2 * kDeadbandSeconds;
// How fast an offset beyond that is taken back (1/s): slow, so that the echo path
// moves little, yet a 3 % clock difference stays within a few tens of milliseconds.
constexpr double kPull = 0.5;
// The clock ratio is fitted over about this long: the measurement's jitter averages out, and a
// clock that slowly changes (warming up) is followed.
constexpr double kFitSeconds = 30;
// The shortest stretch a ratio is taken from: about ten polls.
constexpr double kFitLeastSeconds = 0.5;
// Once lined up, the offset is averaged this long before it is controlled: the positions at
// the moment of lining up are off by up to a packet, and that error must not be corrected ever after.
constexpr double kSettleSeconds = 0.5;
// A longer step between two reports (a late wake-up) counts only this much.
constexpr double kMaxStepSeconds = 0.2;

}  // namespace

void ClockDrift::Fit::Add(double dx, double dy, double keep) {
  // Move the origin to the new point, then age the old ones and add it (at 0, 0).
  xx += -2 * dx * x + dx * dx * weight;
  xy += -dx * y - dy * x + dx * dy * weight;
  x -= dx * weight;
  y -= dy * weight;
  weight = weight * keep + 1;
  x *= keep;
  y *= keep;
  xx *= keep;
  xy *= keep;
}

bool ClockDrift::Fit::Spans(double seconds) const {
  // The spread of the points' times, weighted.
  return weight > 2 && (xx / weight - (x / weight) * (x / weight)) * 12 >= seconds * seconds;
}

double ClockDrift::Fit::Slope() const {
  const double d = weight * xx - x * x;
  return d > 0 ? (weight * xy - x * y) / d : 0;
}

double ClockDrift::Update(int64_t clockSamples, int64_t sourceSamples, bool heard, bool realigned) {
  const double step =
      lastClock_ < 0 ? 0 : std::clamp(static_cast<double>(clockSamples - lastClock_) / rate_, 0.0, kMaxStepSeconds);
  lastClock_ = clockSamples;
  if (realigned) lined_ = false;
  if (!heard) {
    // Without a fresh offset only the clock ratio applies.
    correction_ = ratio_;
    return correction_;
  }
  const double elapsed = static_cast<double>(clockSamples - lastHeardClock_) / rate_;
  if (!lined_) {
    // The source's audio jumped: its course goes on from here as fitted so far.
    if (lastHeardClock_ >= 0 && elapsed > 0)
      fit_.Add(elapsed, elapsed * (fit_.Spans(kFitLeastSeconds) ? fit_.Slope() : 1), std::exp(-elapsed / kFitSeconds));
    sourceReference_ = sourceSamples;
    clockReference_ = static_cast<double>(clockSamples);
    offset_ = 0;
    settleUntil_ = clockSamples + static_cast<int64_t>(kSettleSeconds * rate_);
    settleSum_ = 0;
    settleCount_ = 0;
    lined_ = true;
    correction_ = ratio_;
  } else if (elapsed > 0) {
    // The audio as the source delivered it, before the correction stretched it.
    const double delivered = static_cast<double>(sourceSamples - lastSource_) / rate_;
    fit_.Add(elapsed, delivered / (1 + correction_), std::exp(-elapsed / kFitSeconds));
  }
  lastSource_ = sourceSamples;
  lastHeardClock_ = clockSamples;

  double offset = ((sourceSamples - sourceReference_) - (clockSamples - clockReference_)) / rate_;
  if (clockSamples < settleUntil_) {
    settleSum_ += offset;
    ++settleCount_;
    return correction_;
  }
  if (settleCount_ > 0) {
    // The reference moves to the mean offset of the settling time.
    clockReference_ -= settleSum_ / settleCount_ * rate_;
    offset -= settleSum_ / settleCount_;
    settleCount_ = 0;
  }
  offset_ += (offset - offset_) * std::min(step / kSmoothingSeconds, 1.0);
  if (std::fabs(offset_) > kDeadbandSeconds) engaged_ = true;
  if (!engaged_) return correction_;
  const double excess = offset_ - std::clamp(offset_, -kHeldSeconds, kHeldSeconds);
  // A slope far from 1 is no clock (a source that jumped unnoticed): the ratio stays as it was.
  const double slope = fit_.Spans(kFitLeastSeconds) ? fit_.Slope() : 0;
  if (slope > 0.5 && slope < 2) ratio_ = std::clamp(1 / slope - 1, -kMaxCorrection, kMaxCorrection);
  correction_ = std::clamp(ratio_ - kPull * excess, -kMaxCorrection, kMaxCorrection);
  return correction_;
}

}  // namespace zav
