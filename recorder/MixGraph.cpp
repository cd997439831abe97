#include "MixGraph.h"

#include <glog/logging.h>

#include <cstdio>

#include "Trace.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
}

namespace zav {
namespace {

struct InOutDeleter { void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); } };
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

constexpr int kStereoLayoutMask = 3;  // front-left + front-right

}  // namespace

int MixGraph::Build(const AVCodecContext* encoder, int frameSize) {
  const AVFilter* abuffer = avfilter_get_by_name("abuffer");
  const AVFilter* abuffersink = avfilter_get_by_name("abuffersink");
  graph_.reset(avfilter_graph_alloc());
  InOutPtr outputs(avfilter_inout_alloc());
  InOutPtr micOutput(avfilter_inout_alloc());
  InOutPtr inputs(avfilter_inout_alloc());
  if (!abuffer || !abuffersink || !graph_ || !outputs || !micOutput || !inputs) {
    graph_.reset();
    return -1;
  }

  char args[512];
  std::snprintf(args, sizeof args, "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%d",
                encoder->time_base.num, encoder->time_base.den, encoder->sample_rate,
                av_get_sample_fmt_name(encoder->sample_fmt), kStereoLayoutMask);
  Trace("args_spk: %s\n", args);
  Trace("args_mic: %s\n", args);

  auto fail = [this](const char* line) {
    LOG(ERROR) << line;
    graph_.reset();
    speakerSource_ = micSource_ = sink_ = nullptr;
    return -1;
  };
  if (avfilter_graph_create_filter(&speakerSource_, abuffer, "in0", args, nullptr, graph_.get()) < 0)
    return fail("Filter: failed to call avfilter_graph_create_filter -- src spk");
  if (avfilter_graph_create_filter(&micSource_, abuffer, "in1", args, nullptr, graph_.get()) < 0)
    return fail("Filter: failed to call avfilter_graph_create_filter -- src mic");
  if (avfilter_graph_create_filter(&sink_, abuffersink, "out", nullptr, nullptr, graph_.get()) < 0)
    return fail("Filter: failed to call avfilter_graph_create_filter -- sink");

  const int sampleFormat = encoder->sample_fmt;
  const int64_t channelLayout = kStereoLayoutMask;
  const int sampleRate = encoder->sample_rate;
  if (av_opt_set_bin(sink_, "sample_fmts", reinterpret_cast<const uint8_t*>(&sampleFormat),
                     sizeof sampleFormat, AV_OPT_SEARCH_CHILDREN) < 0)
    return fail("Filter: failed to call av_opt_set_bin -- sample_fmts");
  if (av_opt_set_bin(sink_, "channel_layouts", reinterpret_cast<const uint8_t*>(&channelLayout),
                     sizeof channelLayout, AV_OPT_SEARCH_CHILDREN) < 0)
    return fail("Filter: failed to call av_opt_set_bin -- channel_layouts");
  if (av_opt_set_bin(sink_, "sample_rates", reinterpret_cast<const uint8_t*>(&sampleRate),
                     sizeof sampleRate, AV_OPT_SEARCH_CHILDREN) < 0)
    return fail("Filter: failed to call av_opt_set_bin -- sample_rates");

  // The parser takes ownership of the in/out lists it is given and hands back what is left.
  outputs->name = av_strdup("in0");
  outputs->filter_ctx = speakerSource_;
  outputs->pad_idx = 0;
  outputs->next = micOutput.release();
  outputs->next->name = av_strdup("in1");
  outputs->next->filter_ctx = micSource_;
  outputs->next->pad_idx = 0;
  outputs->next->next = nullptr;
  inputs->name = av_strdup("out");
  inputs->filter_ctx = sink_;
  inputs->pad_idx = 0;
  inputs->next = nullptr;

  AVFilterInOut* in = inputs.release();
  AVFilterInOut* out = outputs.release();
  const int parsed = avfilter_graph_parse_ptr(graph_.get(), "[in0][in1]amix=inputs=2[out]", &in, &out, nullptr);
  InOutPtr leftIn(in), leftOut(out);
  if (parsed < 0) return fail("Filter: failed to call avfilter_graph_parse_ptr");
  if (avfilter_graph_config(graph_.get(), nullptr) < 0) return fail("Filter: failed to call avfilter_graph_config");
  // Every mixed frame has exactly the encoder's frame size.
  av_buffersink_set_frame_size(sink_, frameSize);
  return 0;
}

MixGraph::MixResult MixGraph::Mix(AVFrame* mic, AVFrame* speaker, AVFrame* out, int* code) {
  mic->pts = micPts_;
  micPts_ += mic->nb_samples;
  speaker->pts = speakerPts_;
  speakerPts_ += speaker->nb_samples;
  // Every frame has the format the sources were built with; the per-frame check of that costs
  // two channel-layout descriptions printed to strings.
  constexpr int kFlags = AV_BUFFERSRC_FLAG_KEEP_REF | AV_BUFFERSRC_FLAG_NO_CHECK_FORMAT;
  int r = av_buffersrc_add_frame_flags(micSource_, mic, kFlags);
  if (r < 0) {
    *code = r;
    return kMicAddFailed;
  }
  r = av_buffersrc_add_frame_flags(speakerSource_, speaker, kFlags);
  if (r < 0) {
    *code = r;
    return kSpeakerAddFailed;
  }
  r = av_buffersink_get_frame(sink_, out);
  *code = r;
  return r < 0 ? kSinkFailed : kOk;
}

}  // namespace zav
