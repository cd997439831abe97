#pragma once
// Which encoder a format text selects. Pure.

#include <string_view>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/samplefmt.h>
}

namespace zav {

inline constexpr int kOutputSampleRate = 44100;
inline constexpr int kOutputChannels = 2;

struct EncoderChoice {
  AVCodecID codecId = AV_CODEC_ID_AAC;
  AVSampleFormat sampleFormat = AV_SAMPLE_FMT_S16;
  int frameSize = 1024;  // samples per channel in every frame handed to the encoder
};

// "mp3": MP3, planar float, 1152. "m4a": AAC, planar float, 1024. "wav": PCM s16le, 1024.
// Any other text keeps AAC with interleaved 16-bit samples (which the AAC encoder refuses).
EncoderChoice ChooseEncoder(std::string_view format);

}  // namespace zav
