#include "LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace zav {
namespace {

// What one run of samples adds to a block. Full scale = 1.0.
struct RunSum {
  double sumSquares = 0;
  double peak = 0;
  bool clipped = false;
};

// Float (or integers scaled to float, where full scale then reads as 1.0): eight running sums
// side by side, so that the loop vectorises. A NaN makes its block read as silence.
template <typename Sample>
RunSum SumScaled(const Sample* s, int count, float scale) {
  constexpr int kLanes = 8;
  float squares[kLanes] = {};
  float peaks[kLanes] = {};
  int i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    for (int j = 0; j < kLanes; ++j) {
      const float v = static_cast<float>(s[i + j]) * scale;
      const float a = std::fabs(v);
      squares[j] += v * v;
      peaks[j] = a > peaks[j] ? a : peaks[j];
    }
  }
  for (; i < count; ++i) {
    const float v = static_cast<float>(s[i]) * scale;
    const float a = std::fabs(v);
    squares[0] += v * v;
    peaks[0] = a > peaks[0] ? a : peaks[0];
  }
  RunSum sum;
  for (int j = 0; j < kLanes; ++j) {
    sum.sumSquares += squares[j];
    sum.peak = std::max<double>(sum.peak, peaks[j]);
  }
  sum.clipped = sum.peak >= 1.0;
  sum.peak = std::min(sum.peak, 1.0);
  return sum;
}

// Signed 16-bit: full scale is -32768 (which reads as 1.0) or 32767.
RunSum SumS16(const int16_t* s, int count) {
  RunSum sum = SumScaled(s, count, 1.0f / 32768.0f);
  int16_t hi = 0;
  for (int i = 0; i < count; ++i) hi = std::max(hi, s[i]);
  sum.clipped = sum.clipped || hi == std::numeric_limits<int16_t>::max();
  return sum;
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
    if (samples) {
      const RunSum sum = measure(samples, take * channels_);
      sumSquares_ += sum.sumSquares;
      peak_ = std::max(peak_, sum.peak);
      clipped_ = clipped_ || sum.clipped;
      samples += static_cast<size_t>(take) * channels_;
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
      return Feed(static_cast<const int32_t*>(data), frames,
                  [](const int32_t* s, int n) { return SumScaled(s, n, 1.0f / 2147483648.0f); });
    case AV_SAMPLE_FMT_FLT:
      return AddFloat(static_cast<const float*>(data), frames);
    case AV_SAMPLE_FMT_DBL:
      return Feed(static_cast<const double*>(data), frames, [](const double* s, int n) { return SumScaled(s, n, 1.0f); });
    default:
      return AddSilence(frames);
  }
}

bool LevelMeter::AddS16(const int16_t* samples, int frames) { return Feed(samples, frames, SumS16); }

bool LevelMeter::AddFloat(const float* samples, int frames) {
  return Feed(samples, frames, [](const float* s, int n) { return SumScaled(s, n, 1.0f); });
}

bool LevelMeter::AddSilence(int frames) { return Feed(static_cast<const int16_t*>(nullptr), frames, SumS16); }

}  // namespace zav
