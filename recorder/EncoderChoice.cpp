#include "EncoderChoice.h"

namespace zav {

EncoderChoice ChooseEncoder(std::string_view format) {
  if (format == "mp3") return {AV_CODEC_ID_MP3, AV_SAMPLE_FMT_FLTP, 1152};
  if (format == "m4a") return {AV_CODEC_ID_AAC, AV_SAMPLE_FMT_FLTP, 1024};
  if (format == "wav") return {AV_CODEC_ID_PCM_S16LE, AV_SAMPLE_FMT_S16, 1024};
  return {};
}

}  // namespace zav
