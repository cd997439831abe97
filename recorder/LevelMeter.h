#pragma once
// Measures the level of interleaved samples in blocks of a twentieth of a second: the RMS
// and the peak of each finished block, in dBFS with full scale = 1.0. Pure; allocates
// nothing after construction.

#include <cstdint>

#include "Levels.h"

namespace zav {

// amplitude (full scale = 1.0) in dBFS, clamped to kLevelFloorDb..0.
float AmplitudeToDb(double amplitude);
// The power (mean square) that a level in dBFS stands for; the floor reads as 0.
double DbToPower(float db);

class LevelMeter {
 public:
  static constexpr int kBlocksPerSecond = 20;

  // Blocks of sampleRate / kBlocksPerSecond frames of `channels` interleaved samples.
  // Drops a block in progress.
  void Reset(int sampleRate, int channels);

  // Measures `frames` frames in an FFmpeg packed sample format (AV_SAMPLE_FMT_S16, S32, FLT
  // or DBL, as its integer value); null data reads as silence, as does a format that is not
  // one of these. True when at least one block finished: level() holds the newest.
  bool Add(const void* data, int frames, int sampleFormat);
  bool AddS16(const int16_t* samples, int frames);
  bool AddFloat(const float* samples, int frames);
  bool AddSilence(int frames);

  // The newest finished block (active; the floor before the first one).
  const SourceLevel& level() const { return level_; }

 private:
  template <typename Sample, typename Measure>
  bool Feed(const Sample* samples, int frames, Measure measure);
  void FinishBlock();

  int channels_ = 2;
  int64_t blockFrames_ = 2205;
  int64_t filled_ = 0;  // frames of the block in progress
  double sumSquares_ = 0;
  double peak_ = 0;
  bool clipped_ = false;
  SourceLevel level_{true};
};

}  // namespace zav
