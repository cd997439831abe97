// bench_encode_floor: CPU seconds to encode recorded audio as fast as possible, without
// capture, with the recorder's own encoder settings and output file. Two figures:
//   encode      one mixed signal, frame by frame, into the file
//   mix+encode  the two sources through the recorder's mixing graph, then into the file
// The audio is what the benchmark server plays: a 1 kHz tone as system sound and a
// 440 Hz tone as microphone.
//
// Usage: bench_encode_floor [--format mp3|m4a|wav] [--seconds N] [--bitrate N] [--dir DIR]

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "EncoderChoice.h"
#include "FfmpegHandles.h"
#include "MixGraph.h"
#include "OutputFile.h"
#include "Trace.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

namespace {

using namespace zav;

constexpr double kPi = 3.14159265358979323846;
constexpr double kSpeakerHz = 1000;
constexpr double kMicHz = 440;
constexpr double kAmplitude = 0.5;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Fills samples [first, first + frame->nb_samples) of a tone (or the average of two tones,
// as the mixer makes it) into a frame of the encoder's sample format.
void FillTone(AVFrame* frame, int64_t first, double hzA, double hzB) {
  for (int i = 0; i < frame->nb_samples; ++i) {
    const double t = static_cast<double>(first + i) / kOutputSampleRate;
    double v = kAmplitude * std::sin(2 * kPi * hzA * t);
    if (hzB > 0) v = (v + kAmplitude * std::sin(2 * kPi * hzB * t)) / 2;
    if (frame->format == AV_SAMPLE_FMT_FLTP) {
      for (int c = 0; c < kOutputChannels; ++c) reinterpret_cast<float*>(frame->extended_data[c])[i] = static_cast<float>(v);
    } else {
      auto* s = reinterpret_cast<int16_t*>(frame->data[0]);
      for (int c = 0; c < kOutputChannels; ++c) s[i * kOutputChannels + c] = static_cast<int16_t>(v * 32767);
    }
  }
}

FramePtr MakeFrame(const EncoderChoice& choice) {
  FramePtr frame(av_frame_alloc());
  frame->nb_samples = choice.frameSize;
  frame->format = choice.sampleFormat;
  frame->sample_rate = kOutputSampleRate;
  av_channel_layout_default(&frame->ch_layout, kOutputChannels);
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  return frame;
}

// The source audio, generated before the clock starts: a list of ready frames.
std::vector<FramePtr> MakeFrames(const EncoderChoice& choice, int64_t samples, double hzA, double hzB) {
  std::vector<FramePtr> frames;
  for (int64_t at = 0; at < samples; at += choice.frameSize) {
    FramePtr f = MakeFrame(choice);
    if (!f) return {};
    FillTone(f.get(), at, hzA, hzB);
    frames.push_back(std::move(f));
  }
  return frames;
}

// Encodes the frames (mixing speaker and mic frames through the graph when mix is set);
// returns the CPU seconds spent, or a negative value on failure.
double Run(const std::string& dir, const std::string& name, const std::string& format, int bitRate, int seconds,
           bool mix) {
  const EncoderChoice choice = ChooseEncoder(format);
  const int64_t samples = static_cast<int64_t>(seconds) * kOutputSampleRate;
  // Without the graph: the mixed signal. With it: system sound (a) and microphone (b).
  std::vector<FramePtr> a = mix ? MakeFrames(choice, samples, kSpeakerHz, 0) : MakeFrames(choice, samples, kSpeakerHz, kMicHz);
  std::vector<FramePtr> b = mix ? MakeFrames(choice, samples, kMicHz, 0) : std::vector<FramePtr>{};
  if (a.empty() || (mix && b.empty())) return -1;

  const double start = CpuSeconds();
  OutputFile out;
  if (out.Allocate(dir, name) != 0 || out.Open(choice, bitRate) != 0) return -1;
  MixGraph graph;
  FramePtr mixed(av_frame_alloc());
  if (mix && graph.Build(out.codec(), choice.frameSize) != 0) return -1;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!mix) {
      if (out.Encode(a[i].get()) < 0) return -1;
      continue;
    }
    int code = 0;
    if (graph.Mix(b[i].get(), a[i].get(), mixed.get(), &code) != MixGraph::kOk) return -1;
    if (out.Encode(mixed.get()) < 0) return -1;
    av_frame_unref(mixed.get());
  }
  const bool finished = out.Finish() == 0;
  const double spent = CpuSeconds() - start;
  std::remove(out.path().c_str());
  return finished ? spent : -1;
}

int Usage() {
  std::fputs("usage: bench_encode_floor [--format mp3|m4a|wav] [--seconds N] [--bitrate N] [--dir DIR]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string format = "mp3";
  int seconds = 60;
  int bitRate = 128000;
  std::string dir = "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const char* value = argv[++i];
    if (arg == "--format") format = value;
    else if (arg == "--seconds") seconds = std::atoi(value);
    else if (arg == "--bitrate") bitRate = std::atoi(value);
    else if (arg == "--dir") dir = value;
    else return Usage();
  }
  if ((format != "mp3" && format != "m4a" && format != "wav") || seconds <= 0) return Usage();
  SetTraceEnabled(false);
  av_log_set_level(AV_LOG_ERROR);

  const std::string name = "bench-floor-" + std::to_string(getpid()) + "." + format;
  const double encode = Run(dir, name, format, bitRate, seconds, false);
  const double mixEncode = Run(dir, name, format, bitRate, seconds, true);
  if (encode < 0 || mixEncode < 0) {
    std::fprintf(stderr, "bench_encode_floor: encoding %s failed\n", format.c_str());
    return 1;
  }
  // Per minute of audio, so that the figures read like the recording cost.
  const double perMinute = 60.0 / seconds;
  std::printf("format=%s seconds=%d encode_cpu_s=%.3f mix_encode_cpu_s=%.3f encode_cpu_s_per_min=%.3f "
              "mix_encode_cpu_s_per_min=%.3f\n",
              format.c_str(), seconds, encode, mixEncode, encode * perMinute, mixEncode * perMinute);
  return 0;
}
