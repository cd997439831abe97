#include "FfmpegHandles.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace zav {

int SampleBuffer::Reserve(int samples, int channels, AVSampleFormat format) {
  if (planes && samples <= capacity) return 0;
  Release();
  const int r = av_samples_alloc_array_and_samples(&planes, nullptr, channels, samples, format, 0);
  if (r < 0) {
    planes = nullptr;
    return r;
  }
  capacity = samples;
  return 0;
}

void SampleBuffer::Release() {
  if (planes) av_freep(&planes[0]);
  av_freep(&planes);
  capacity = 0;
}

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace zav
