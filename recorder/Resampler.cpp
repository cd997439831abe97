#include "Resampler.h"

#include <glog/logging.h>

#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace zav {

SwrPtr MakeResampler(const AudioSpec& in, const AudioSpec& out, const char* allocError, const char* initError) {
  AVChannelLayout inLayout, outLayout;
  av_channel_layout_default(&inLayout, in.channels);
  av_channel_layout_default(&outLayout, out.channels);
  SwrContext* raw = nullptr;
  const int allocated = swr_alloc_set_opts2(&raw, &outLayout, out.sampleFormat, out.sampleRate, &inLayout,
                                            in.sampleFormat, in.sampleRate, 0, nullptr);
  SwrPtr swr(raw);
  if (allocated < 0 || !swr) {
    LOG(ERROR) << allocError;
    return nullptr;
  }
  // Mono goes to every channel at its own level: the converter's default spreads it at -3 dB,
  // which made a processed microphone (32 kHz mono) quieter than a plain one.
  if (in.channels == 1 && out.channels > 1) {
    const std::vector<double> matrix(static_cast<size_t>(out.channels), 1.0);
    if (swr_set_matrix(swr.get(), matrix.data(), 1) < 0) {
      LOG(ERROR) << initError;
      return nullptr;
    }
  }
  if (swr_init(swr.get()) < 0) {
    LOG(ERROR) << initError;
    return nullptr;
  }
  return swr;
}

}  // namespace zav
