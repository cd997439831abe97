#include "LevelMeterModel.h"

#include <algorithm>
#include <cmath>

namespace zav {

LevelMeterModel::LevelMeterModel(int steps) : steps_(std::max(steps, 1)) {}

int LevelMeterModel::Step(float db) const {
  if (!(db > kLevelFloorDb)) return 0;  // also NaN
  const float fraction = std::min((db - kLevelFloorDb) / -kLevelFloorDb, 1.0f);
  return static_cast<int>(std::lround(fraction * static_cast<float>(steps_)));
}

bool LevelMeterModel::Refresh() {
  MeterLook look;
  if (last_.active) {
    look.active = true;
    look.barSteps = Step(last_.rmsDb);
    const int peak = Step(heldPeakDb_);
    if (peak > 0) look.peakStep = peak;
    look.clip = clipHeld_;
  }
  if (look == look_) return false;
  look_ = look;
  return true;
}

bool LevelMeterModel::SetSteps(int steps) {
  steps_ = std::max(steps, 1);
  return Refresh();
}

bool LevelMeterModel::Update(const SourceLevel& level, Clock::time_point now) {
  if (!level.active) return Clear();
  if (!last_.active || level.peakDb >= heldPeakDb_ || now >= peakHeldUntil_) {
    heldPeakDb_ = level.peakDb;
    peakHeldUntil_ = now + kPeakHoldMs;
  }
  if (level.clipped) {
    clipHeld_ = true;
    clipUntil_ = now + kClipHoldMs;
  } else if (now >= clipUntil_) {
    clipHeld_ = false;
  }
  last_ = level;
  return Refresh();
}

bool LevelMeterModel::Advance(Clock::time_point now) {
  if (!last_.active) return false;
  if (now >= peakHeldUntil_) heldPeakDb_ = last_.peakDb;
  if (now >= clipUntil_ && !last_.clipped) clipHeld_ = false;
  return Refresh();
}

bool LevelMeterModel::Clear() {
  last_ = SourceLevel{};
  heldPeakDb_ = kLevelFloorDb;
  clipHeld_ = false;
  return Refresh();
}

std::optional<LevelMeterModel::Clock::time_point> LevelMeterModel::NextChange() const {
  if (!last_.active) return std::nullopt;
  std::optional<Clock::time_point> next;
  if (heldPeakDb_ > last_.peakDb) next = peakHeldUntil_;
  if (clipHeld_ && !last_.clipped && (!next || clipUntil_ < *next)) next = clipUntil_;
  return next;
}

}  // namespace zav
