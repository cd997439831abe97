#pragma once
// Keeps every level report with the time it arrived, from whichever thread sends it: the
// sink of a LevelMonitor, a recorder's owner, a controller's listener.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "Levels.h"
#include "RecordingController.h"

namespace zav::test {

struct TimedLevels {
  std::chrono::steady_clock::time_point at;
  LevelReport levels;
};

class LevelLog {
 public:
  void Add(const LevelReport& levels) {
    std::lock_guard lock(mutex_);
    reports_.push_back({std::chrono::steady_clock::now(), levels});
    changed_.notify_all();
  }
  std::vector<TimedLevels> Since(std::chrono::steady_clock::time_point from) const {
    std::lock_guard lock(mutex_);
    std::vector<TimedLevels> out;
    for (const TimedLevels& r : reports_)
      if (r.at >= from) out.push_back(r);
    return out;
  }
  std::vector<TimedLevels> All() const { return Since({}); }
  std::optional<LevelReport> Latest() const {
    std::lock_guard lock(mutex_);
    if (reports_.empty()) return std::nullopt;
    return reports_.back().levels;
  }
  // Waits until the newest report satisfies done.
  bool WaitFor(const std::function<bool(const LevelReport&)>& done, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return !reports_.empty() && done(reports_.back().levels); });
  }
  auto Sink() {
    return [this](const LevelReport& levels) { Add(levels); };
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TimedLevels> reports_;
};

// A controller listener that keeps the levels and the start report.
class LevelListener final : public RecordingListener {
 public:
  void OnStarted(const StartReport& report) override {
    std::lock_guard lock(mutex_);
    started_ = report;
    startedChanged_.notify_all();
  }
  void OnSeconds(uint64_t, int64_t) override {}
  void OnFault(uint64_t, RecordingFault) override {}
  void OnFinished(const FinishReport&) override {}
  void OnLevels(uint64_t, const LevelReport& levels) override { log.Add(levels); }

  std::optional<StartReport> WaitStarted(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    startedChanged_.wait_for(lock, timeout, [this] { return started_.has_value(); });
    return started_;
  }

  LevelLog log;

 private:
  std::mutex mutex_;
  std::condition_variable startedChanged_;
  std::optional<StartReport> started_;
};

// The most reports in any window of `window` (reports in [t, t + window)).
inline size_t MostReportsWithin(const std::vector<TimedLevels>& reports, std::chrono::milliseconds window) {
  size_t most = 0;
  size_t first = 0;
  for (size_t last = 0; last < reports.size(); ++last) {
    while (reports[last].at - reports[first].at >= window) ++first;
    most = std::max(most, last - first + 1);
  }
  return most;
}

}  // namespace zav::test
