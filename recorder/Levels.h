#pragma once
// Live levels of captured sound, for the meters of the main window and `zav-record --levels`.

#include <cstdint>

namespace zav {

// The quietest level a meter shows; silence and anything below read as this.
inline constexpr float kLevelFloorDb = -60.0f;

// One source's level over the last block (about 50 ms).
struct SourceLevel {
  bool active = false;           // the source is being captured; false: the meter stays empty
  float rmsDb = kLevelFloorDb;   // dBFS, kLevelFloorDb..0 (a full-scale sine reads about -3)
  float peakDb = kLevelFloorDb;  // dBFS of the largest sample, kLevelFloorDb..0
  bool clipped = false;          // a sample reached full scale in the block

  bool operator==(const SourceLevel&) const = default;
};

// Both sources at once; a source that is not recorded (or has no device) is not active.
struct LevelReport {
  SourceLevel microphone;
  SourceLevel systemSound;

  bool operator==(const LevelReport&) const = default;
};

}  // namespace zav
