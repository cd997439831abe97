#pragma once
// Owners for FFmpeg objects: one unique_ptr type each, freed by the matching FFmpeg call.

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace zav {

struct FrameDeleter { void operator()(AVFrame* f) const { av_frame_free(&f); } };
struct PacketDeleter { void operator()(AVPacket* p) const { av_packet_free(&p); } };
struct CodecContextDeleter { void operator()(AVCodecContext* c) const { avcodec_free_context(&c); } };
struct FilterGraphDeleter { void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); } };
struct SwrDeleter { void operator()(SwrContext* s) const { swr_free(&s); } };
struct AudioFifoDeleter { void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); } };
struct InputFormatContextDeleter {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// An output context: closes the file it opened itself (I/O given to it stays its owner's)
// and frees the context.
struct OutputFormatContextDeleter {
  void operator()(AVFormatContext* c) const {
    if (c->oformat && !(c->oformat->flags & AVFMT_NOFILE) && !(c->flags & AVFMT_FLAG_CUSTOM_IO) && c->pb)
      avio_closep(&c->pb);
    avformat_free_context(c);
  }
};

using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using InputFormatContextPtr = std::unique_ptr<AVFormatContext, InputFormatContextDeleter>;
using OutputFormatContextPtr = std::unique_ptr<AVFormatContext, OutputFormatContextDeleter>;

// Samples allocated with av_samples_alloc_array_and_samples: frees the data and the plane array.
struct SampleBuffer {
  uint8_t** planes = nullptr;
  int capacity = 0;  // samples per channel

  SampleBuffer() = default;
  SampleBuffer(const SampleBuffer&) = delete;
  SampleBuffer& operator=(const SampleBuffer&) = delete;
  ~SampleBuffer() { Release(); }
  // Makes room for at least `samples`; keeps nothing. 0 or a negative FFmpeg error.
  int Reserve(int samples, int channels, AVSampleFormat format);
  void Release();
};

// Error text of an FFmpeg result code.
std::string AvErrorText(int code);

}  // namespace zav
