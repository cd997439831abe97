#pragma once
// Gathers the newest level of each source and hands out one report carrying both at most
// kLevelReportsPerSecond times a second, however many threads publish. The one place where
// the report rate is limited, for recordings and for the idle monitor alike.
//
// Threads: Publish, SetLevel and Clear from any thread. The sink runs on the publishing
// thread, one call at a time; a publisher that finds another one reporting does not wait.

#include <cstdint>
#include <mutex>
#include <utility>

#include "Levels.h"

namespace zav {

inline constexpr int kLevelReportsPerSecond = 20;
inline constexpr int64_t kLevelReportSpacingMs = 1000 / kLevelReportsPerSecond;

enum class LevelSource { kMicrophone, kSystemSound };

class LevelReporter {
 public:
  // Stores the source's level without reporting.
  void SetLevel(LevelSource source, const SourceLevel& level) {
    std::lock_guard lock(levelsMutex_);
    Slot(source) = level;
  }

  // Both sources inactive; the next report may follow at once.
  void Clear() {
    std::lock_guard reportLock(reportMutex_);
    std::lock_guard lock(levelsMutex_);
    levels_ = LevelReport{};
    lastReportMs_ = kNever;
  }

  // Stores the source's level, then calls sink(const LevelReport&) when the last report is at
  // least kLevelReportSpacingMs old at nowMs (steady clock, milliseconds).
  template <typename Sink>
  void Publish(LevelSource source, const SourceLevel& level, int64_t nowMs, Sink&& sink) {
    SetLevel(source, level);
    Report(nowMs, std::forward<Sink>(sink));
  }

  // Calls sink(const LevelReport&) with both sources' levels when a report is due at nowMs.
  template <typename Sink>
  void Report(int64_t nowMs, Sink&& sink) {
    std::unique_lock reportLock(reportMutex_, std::try_to_lock);
    if (!reportLock.owns_lock() || nowMs - lastReportMs_ < kLevelReportSpacingMs) return;
    lastReportMs_ = nowMs;
    LevelReport report;
    {
      std::lock_guard lock(levelsMutex_);
      report = levels_;
    }
    sink(report);
  }

 private:
  static constexpr int64_t kNever = INT64_MIN / 2;

  SourceLevel& Slot(LevelSource source) {
    return source == LevelSource::kMicrophone ? levels_.microphone : levels_.systemSound;
  }

  std::mutex levelsMutex_;  // guards levels_
  LevelReport levels_;
  std::mutex reportMutex_;  // held while deciding on and making a report; guards lastReportMs_
  int64_t lastReportMs_ = kNever;
};

}  // namespace zav
