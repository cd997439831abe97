#include "MediaDuration.h"

#include <strings.h>

#include "FfmpegHandles.h"
#include "WavFile.h"

namespace zav {

double ReadMediaDuration(const std::string& path) {
  const auto dot = path.rfind('.');
  if (dot != std::string::npos && strcasecmp(path.c_str() + dot + 1, "wav") == 0) RepairWavSizes(path);

  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return -1;
  InputFormatContextPtr input(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0 || raw->duration == AV_NOPTS_VALUE || raw->duration < 0) return -1;
  return static_cast<double>(raw->duration) / AV_TIME_BASE;
}

}  // namespace zav
