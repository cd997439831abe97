// The idle level monitor over the sound server: runs it for a while on the sources given and
// prints the CPU it used (this process's CPU between Start and Stop), the reports it sent and
// the time Stop took.
//
// Usage: bench_level_monitor [--seconds N] [--source both|mic|speaker]

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "LevelMonitor.h"
#include "Trace.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60;
  zav::VoiceSource source = zav::VoiceSource::Both;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    if (option == "--seconds") {
      seconds = std::stod(value);
    } else if (option == "--source") {
      source = value == "mic" ? zav::VoiceSource::Microphone
               : value == "speaker" ? zav::VoiceSource::Speaker
                                    : zav::VoiceSource::Both;
    } else {
      std::fprintf(stderr, "usage: bench_level_monitor [--seconds N] [--source both|mic|speaker]\n");
      return 2;
    }
  }
  zav::SetTraceEnabled(false);
  std::atomic<int> reports{0};
  std::atomic<int> heard{0};  // reports with both sources above the floor
  zav::LevelMonitor monitor([&](const zav::LevelReport& r) {
    ++reports;
    if (r.microphone.rmsDb > zav::kLevelFloorDb || r.systemSound.rmsDb > zav::kLevelFloorDb) ++heard;
  });
  using Clock = std::chrono::steady_clock;
  const double cpuBefore = CpuSeconds();
  const auto start = Clock::now();
  monitor.Start(source);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const auto stopping = Clock::now();
  monitor.Stop();
  const auto stopped = Clock::now();
  const double cpu = CpuSeconds() - cpuBefore;
  const double wall = std::chrono::duration<double>(stopped - start).count();
  std::printf("cpu_s=%.4f wall_s=%.3f core_percent=%.3f reports=%d reports_per_s=%.2f heard=%d stop_ms=%.2f\n", cpu,
              wall, 100.0 * cpu / wall, reports.load(), reports / wall, heard.load(),
              std::chrono::duration<double, std::milli>(stopped - stopping).count());
  return 0;
}
