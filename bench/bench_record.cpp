// bench_record: records over the sound server with AudioRecorder, the engine zav-record
// runs, and times each recording from outside: the wall clock between Start and Stop, and
// how long Stop takes to leave a finished file on disk (threads joined, FIFOs drained,
// encoder flushed, trailer written, file closed). The file is then opened again to read
// the duration it declares. Logs go to standard error as in zav-record.
//
// Usage: bench_record [--format mp3|m4a|wav] [--source both|mic|speaker] [--seconds S]
//                     [--runs N] [--dir DIR] [--keep]
// Prints one line per run and a summary line of key=value pairs.

#include <glog/logging.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "AudioRecorder.h"
#include "Trace.h"
#include "pulse/MixerWrap.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {

using namespace zav;
using Clock = std::chrono::steady_clock;

class NoOwner final : public RecorderOwner {
 public:
  void PostMessage(unsigned, uintptr_t, intptr_t) override {}
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The duration the finished file declares, in seconds; negative when it cannot be read.
double FileSeconds(const std::string& path) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return -1;
  double seconds = -1;
  if (avformat_find_stream_info(raw, nullptr) >= 0 && raw->duration != AV_NOPTS_VALUE)
    seconds = static_cast<double>(raw->duration) / AV_TIME_BASE;
  avformat_close_input(&raw);
  return seconds;
}

struct Options {
  std::string format = "mp3";
  int source = 0;
  double seconds = 3;
  int runs = 10;
  std::string dir = "/tmp";
  bool keep = false;
};

bool Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--keep") {
      o->keep = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (arg == "--format") o->format = value;
    else if (arg == "--source") o->source = value == "both" ? 0 : value == "mic" ? 1 : value == "speaker" ? 2 : -1;
    else if (arg == "--seconds") o->seconds = std::atof(value.c_str());
    else if (arg == "--runs") o->runs = std::atoi(value.c_str());
    else if (arg == "--dir") o->dir = value;
    else return false;
  }
  return (o->format == "mp3" || o->format == "m4a" || o->format == "wav") && o->source >= 0 && o->seconds > 0 &&
         o->runs > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, &o)) {
    std::fputs("usage: bench_record [--format mp3|m4a|wav] [--source both|mic|speaker] [--seconds S] [--runs N] "
               "[--dir DIR] [--keep]\n",
               stderr);
    return 2;
  }
  FLAGS_logtostderr = true;
  FLAGS_minloglevel = google::GLOG_ERROR;
  google::InitGoogleLogging("bench_record");
  SetTraceEnabled(false);
  av_log_set_level(AV_LOG_ERROR);

  RecorderSettings settings;
  settings.folder = o.dir;
  settings.format = o.format;
  settings.bitRate = 128000;
  settings.source = static_cast<VoiceSource>(o.source);
  if (o.source != 2) settings.hasMicrophone = GetMicrophoneName(&settings.micEndpointName);
  if (o.source != 2 && !settings.hasMicrophone) {
    std::fputs("bench_record: no microphone on the sound server\n", stderr);
    return 1;
  }
  NoOwner owner;

  std::vector<double> stops;
  double worstDrift = 0;
  int unreadable = 0;
  for (int run = 1; run <= o.runs; ++run) {
    settings.fileName = "bench-record-" + std::to_string(getpid()) + "-" + std::to_string(run) + "." + o.format;
    AudioRecorder recorder(&owner);
    if (recorder.Init(settings) != 0) {
      std::fprintf(stderr, "bench_record: could not start recording into %s\n", recorder.outputPath().c_str());
      return 1;
    }
    const Clock::time_point started = Clock::now();
    recorder.Start();
    std::this_thread::sleep_until(started + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(o.seconds)));
    const Clock::time_point stopping = Clock::now();
    recorder.Stop();
    recorder.Finish();
    const Clock::time_point stopped = Clock::now();
    const double fileSeconds = FileSeconds(recorder.outputPath());
    const double wallSeconds = Ms(stopping - started) / 1000;
    const double stopMs = Ms(stopped - stopping);
    stops.push_back(stopMs);
    if (fileSeconds < 0) {
      std::fprintf(stderr, "bench_record: %s is not a finished file\n", recorder.outputPath().c_str());
      ++unreadable;
    }
    const double driftPercent = fileSeconds < 0 ? 0 : (fileSeconds - wallSeconds) / wallSeconds * 100;
    if (std::abs(driftPercent) > std::abs(worstDrift)) worstDrift = driftPercent;
    std::printf("run %d: wall %.3f s, file %.3f s (%+.3f %%), stop %.1f ms, %s\n", run, wallSeconds, fileSeconds,
                driftPercent, stopMs, recorder.outputPath().c_str());
    std::fflush(stdout);
    if (!o.keep) std::remove(recorder.outputPath().c_str());
  }
  std::vector<double> sorted = stops;
  std::sort(sorted.begin(), sorted.end());
  const size_t n = sorted.size();
  const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  std::printf("summary format=%s runs=%zu stop_median_ms=%.1f stop_max_ms=%.1f worst_drift_percent=%+.4f\n",
              o.format.c_str(), n, median, sorted.back(), worstDrift);
  return unreadable == 0 ? 0 : 1;
}
