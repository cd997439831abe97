#pragma once
// One way to set up a sample converter (format, rate and channel count, default channel
// layouts), for every converter of the engine.

#include "FfmpegHandles.h"

namespace zav {

struct AudioSpec {
  int sampleRate = 44100;
  int channels = 2;
  AVSampleFormat sampleFormat = AV_SAMPLE_FMT_S16;

  bool operator==(const AudioSpec&) const = default;
};

// A converter from `in` to `out`; nullptr after logging allocError or initError (each
// converter keeps its own log lines).
SwrPtr MakeResampler(const AudioSpec& in, const AudioSpec& out, const char* allocError, const char* initError);

}  // namespace zav
