// bench_long_file: a recording of many hours through the recorder's own output file, written as
// fast as it encodes (silence, and a 1 kHz tone for its last five seconds; with --tone the tone
// throughout, which an encoder makes a file of its full bitrate from): CPU time, the
// resident memory at each tenth of the way (it must stay flat), the file's size, and what
// finishing it took (an m4a's rewrite as a plain MP4, or where the disk has not the room for it,
// the fragmented file kept).
//
// Usage: bench_long_file --format m4a|wav|mp3 --hours H [--dir DIR] [--tone]

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "EncoderChoice.h"
#include "FfmpegHandles.h"
#include "OutputFile.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

namespace {

using namespace zav;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ResidentMiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * 4096 / (1 << 20);
}

FramePtr MakeFrame(const EncoderChoice& choice) {
  FramePtr frame(av_frame_alloc());
  frame->format = choice.sampleFormat;
  frame->sample_rate = kOutputSampleRate;
  frame->nb_samples = choice.frameSize;
  av_channel_layout_default(&frame->ch_layout, kOutputChannels);
  if (av_frame_get_buffer(frame.get(), 0) < 0) std::exit(1);
  return frame;
}

void Fill(AVFrame* frame, int64_t first, bool tone) {
  av_frame_make_writable(frame);
  for (int i = 0; i < frame->nb_samples; ++i) {
    const double v = tone ? 0.5 * std::sin(2 * M_PI * 1000.0 * static_cast<double>(first + i) / kOutputSampleRate) : 0;
    if (frame->format == AV_SAMPLE_FMT_FLTP) {
      for (int c = 0; c < kOutputChannels; ++c) reinterpret_cast<float*>(frame->extended_data[c])[i] = static_cast<float>(v);
    } else {
      for (int c = 0; c < kOutputChannels; ++c)
        reinterpret_cast<int16_t*>(frame->data[0])[i * kOutputChannels + c] = static_cast<int16_t>(v * 32767);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string format = "m4a";
  double hours = 10;
  std::string dir = "/tmp";
  bool toneThroughout = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--tone")) toneThroughout = true;
    if (i + 1 >= argc) continue;
    if (!std::strcmp(argv[i], "--format")) format = argv[i + 1];
    if (!std::strcmp(argv[i], "--hours")) hours = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
  }
  av_log_set_level(AV_LOG_ERROR);
  const EncoderChoice choice = ChooseEncoder(format);
  OutputFile out;
  if (out.Allocate(dir, "long." + format) != 0 || out.Open(choice, 128000) != 0) {
    std::fprintf(stderr, "cannot open the file in %s\n", dir.c_str());
    return 1;
  }
  const auto total = static_cast<int64_t>(hours * 3600 * kOutputSampleRate);
  FramePtr frame = MakeFrame(choice);
  const auto start = std::chrono::steady_clock::now();
  std::printf("format %s, %.2f h\ntenth  resident MiB\n", format.c_str(), hours);
  int tenth = 0;
  for (int64_t made = 0; made < total; made += choice.frameSize) {
    const bool tone = toneThroughout || made >= total - 5 * kOutputSampleRate;
    // Silence is made once: only the tone's frames are filled anew.
    if (tone || made == 0) Fill(frame.get(), made, tone);
    if (out.Encode(frame.get()) < 0) {
      std::fprintf(stderr, "writing failed after %.0f s\n", static_cast<double>(made) / kOutputSampleRate);
      break;
    }
    if (made * 10 / total >= tenth) std::printf("%5d  %.1f\n", tenth++, ResidentMiB());
  }
  const double writeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpuWriting = CpuSeconds();
  const double residentWritten = ResidentMiB();
  const auto finishStart = std::chrono::steady_clock::now();
  const int finished = out.Finish();
  const double finishSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - finishStart).count();
  struct stat info {};
  stat(out.path().c_str(), &info);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("written in %.1f s (%.1f s CPU), resident %.1f MiB at the end\n", writeSeconds, cpuWriting, residentWritten);
  std::printf("finished %s in %.1f s%s; file %.1f MiB; peak resident %.1f MiB\n", finished == 0 ? "whole" : "with an error",
              finishSeconds, out.keptFragmented() ? " (kept fragmented: no room for the rewrite)" : "",
              static_cast<double>(info.st_size) / (1 << 20), static_cast<double>(usage.ru_maxrss) / 1024);
  std::printf("%s\n", out.path().c_str());
  return finished == 0 ? 0 : 1;
}
