#pragma once
// What one level meter shows: the RMS level as a bar over kLevelFloorDb..0 dBFS, the highest
// recent peak as a mark held for a while, and a clip mark that stays up a little longer. Pure
// logic: the meter control feeds it levels with their time and repaints only when a call says
// the look changed. Lengths are in steps (the control uses one step per pixel), so a change too
// small to see is no change.

#include <chrono>
#include <optional>

#include "Levels.h"

namespace zav {

struct MeterLook {
  bool active = false;    // a source is measured; false: the meter is empty
  int barSteps = 0;       // RMS level, 0..steps
  int peakStep = -1;      // the held peak's position, -1: no mark
  bool clip = false;      // a sample reached full scale lately

  bool operator==(const MeterLook&) const = default;
};

class LevelMeterModel {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kPeakHoldMs{1500};
  // Longer than the peak hold: a clip is the thing a user must not miss.
  static constexpr std::chrono::milliseconds kClipHoldMs{2500};

  explicit LevelMeterModel(int steps = 100);

  // Each call returns true when the look changed (the meter must be drawn again).
  // The bar's length.
  bool SetSteps(int steps);
  // A level measured at `now`. An inactive level empties the meter.
  bool Update(const SourceLevel& level, Clock::time_point now);
  // Time passed without a new level: a held mark whose time is up falls to the last level.
  bool Advance(Clock::time_point now);
  // Nothing is measured any more: the meter goes empty.
  bool Clear();

  const MeterLook& look() const { return look_; }
  // When Advance would next change the look, if ever (a held mark above the last level).
  std::optional<Clock::time_point> NextChange() const;

 private:
  int Step(float db) const;
  bool Refresh();

  int steps_;
  SourceLevel last_;
  float heldPeakDb_ = kLevelFloorDb;
  Clock::time_point peakHeldUntil_{};
  Clock::time_point clipUntil_{};
  bool clipHeld_ = false;
  MeterLook look_;
};

}  // namespace zav
