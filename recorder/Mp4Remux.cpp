#include "Mp4Remux.h"

#include <glog/logging.h>

#include <cstdio>
#include <filesystem>

#include "FfmpegHandles.h"

namespace zav {

int RemuxToPlainMp4(const std::string& path) {
  const std::filesystem::path original(path);
  const std::string temporary =
      (original.parent_path() / ("." + original.stem().string() + ".remux" + original.extension().string())).string();

  AVFormatContext* rawIn = nullptr;
  if (avformat_open_input(&rawIn, path.c_str(), nullptr, nullptr) < 0) return -1;
  InputFormatContextPtr input(rawIn);
  if (avformat_find_stream_info(rawIn, nullptr) < 0 || rawIn->nb_streams != 1) return -1;

  AVFormatContext* rawOut = nullptr;
  if (avformat_alloc_output_context2(&rawOut, nullptr, nullptr, temporary.c_str()) < 0 || !rawOut) return -1;
  OutputFormatContextPtr output(rawOut);
  AVStream* in = rawIn->streams[0];
  AVStream* out = avformat_new_stream(rawOut, nullptr);
  if (!out || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) return -1;
  out->codecpar->codec_tag = 0;
  out->time_base = in->time_base;

  bool complete = false;
  if (avio_open(&rawOut->pb, temporary.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(rawOut, nullptr) >= 0) {
    PacketPtr packet(av_packet_alloc());
    int r = 0;
    while (packet && (r = av_read_frame(rawIn, packet.get())) >= 0) {
      packet->stream_index = 0;
      av_packet_rescale_ts(packet.get(), in->time_base, out->time_base);
      packet->pos = -1;
      if (av_interleaved_write_frame(rawOut, packet.get()) < 0) break;
    }
    complete = packet && r == AVERROR_EOF && av_write_trailer(rawOut) == 0;
  }
  output.reset();  // closes the temporary file
  std::error_code ec;
  if (complete) {
    std::filesystem::rename(temporary, original, ec);
    if (!ec) return 0;
  }
  LOG(ERROR) << "could not rewrite " << path << " as a plain MP4; the fragmented recording is kept";
  std::filesystem::remove(temporary, ec);
  return -1;
}

}  // namespace zav
