#include "LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace zav {
namespace {

// One sample's magnitude (full scale = 1.0) and whether it reached full scale.
struct Magnitude {
  double value;
  bool full;
};

Magnitude OfS16(int16_t s) {
  return {std::abs(static_cast<double>(s)) / 32768.0, s == std::numeric_limits<int16_t>::min() ||
                                                          s == std::numeric_limits<int16_t>::max()};
}

Magnitude OfS32(int32_t s) {
  return {std::abs(static_cast<double>(s)) / 2147483648.0,
          s == std::numeric_limits<int32_t>::min() || s == std::numeric_limits<int32_t>::max()};
}

template <typename Float>
Magnitude OfFloat(Float s) {
  const double m = std::abs(static_cast<double>(s));
  if (!(m == m)) return {0.0, false};  // NaN: read as silence
  return {std::min(m, 1.0), m >= 1.0};
}

}  // namespace

float AmplitudeToDb(double amplitude) {
  if (!(amplitude > 0)) return kLevelFloorDb;
  const double db = 20.0 * std::log10(amplitude);
  return static_cast<float>(std::clamp(db, static_cast<double>(kLevelFloorDb), 0.0));
}

double DbToPower(float db) { return db <= kLevelFloorDb ? 0.0 : std::pow(10.0, db / 10.0); }

void LevelMeter::Reset(int sampleRate, int channels) {
  channels_ = std::max(channels, 1);
  blockFrames_ = std::max(sampleRate / kBlocksPerSecond, 1);
  filled_ = 0;
  sumSquares_ = 0;
  peak_ = 0;
  clipped_ = false;
}

template <typename Sample, typename Measure>
bool LevelMeter::Feed(const Sample* samples, int frames, Measure measure) {
  bool finished = false;
  while (frames > 0) {
    const int take = static_cast<int>(std::min<int64_t>(frames, blockFrames_ - filled_));
    const int count = take * channels_;
    if (samples) {
      for (int i = 0; i < count; ++i) {
        const Magnitude m = measure(samples[i]);
        sumSquares_ += m.value * m.value;
        peak_ = std::max(peak_, m.value);
        clipped_ = clipped_ || m.full;
      }
      samples += count;
    }
    frames -= take;
    filled_ += take;
    if (filled_ == blockFrames_) {
      FinishBlock();
      finished = true;
    }
  }
  return finished;
}

void LevelMeter::FinishBlock() {
  const double meanSquare = sumSquares_ / static_cast<double>(filled_ * channels_);
  level_.active = true;
  level_.rmsDb = AmplitudeToDb(std::sqrt(meanSquare));
  level_.peakDb = AmplitudeToDb(peak_);
  level_.clipped = clipped_;
  filled_ = 0;
  sumSquares_ = 0;
  peak_ = 0;
  clipped_ = false;
}

bool LevelMeter::Add(const void* data, int frames, int sampleFormat) {
  switch (data ? sampleFormat : AV_SAMPLE_FMT_NONE) {
    case AV_SAMPLE_FMT_S16:
      return AddS16(static_cast<const int16_t*>(data), frames);
    case AV_SAMPLE_FMT_S32:
      return Feed(static_cast<const int32_t*>(data), frames, OfS32);
    case AV_SAMPLE_FMT_FLT:
      return AddFloat(static_cast<const float*>(data), frames);
    case AV_SAMPLE_FMT_DBL:
      return Feed(static_cast<const double*>(data), frames, OfFloat<double>);
    default:
      return AddSilence(frames);
  }
}

bool LevelMeter::AddS16(const int16_t* samples, int frames) { return Feed(samples, frames, OfS16); }

bool LevelMeter::AddFloat(const float* samples, int frames) { return Feed(samples, frames, OfFloat<float>); }

bool LevelMeter::AddSilence(int frames) { return Feed(static_cast<const int16_t*>(nullptr), frames, OfS16); }

}  // namespace zav
