#pragma once
// The hand-over of live levels from the capture threads to the level meters. Reports come up to
// 20 times a second from a recording, 10 from the idle level monitor; the meters only ever need
// the latest. So one slot keeps the latest report, and a task is posted to the window's thread
// only when none is waiting: however fast reports come, at most one task is queued, and the
// capture threads never wait on the window.
//
// Offer may be called from any thread; the rest from the UI thread.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "Levels.h"

namespace zav {

class WindowImplBase;

// Where a report comes from, so that reports of a run that has ended are not shown.
struct LevelOrigin {
  enum class Kind { kNone, kMonitor, kRecording };
  Kind kind = Kind::kNone;
  uint64_t id = 0;  // the monitor's run, or the recording

  static LevelOrigin Monitor(uint64_t run) { return {Kind::kMonitor, run}; }
  static LevelOrigin Recording(uint64_t recording) { return {Kind::kRecording, recording}; }
  bool operator==(const LevelOrigin&) const = default;
};

class LatestLevels {
 public:
  // reportWaiting: posted to window's thread when a report is waiting; it calls Take. The
  // window must outlive every Offer.
  LatestLevels(WindowImplBase* window, std::function<void()> reportWaiting);

  // Any thread. Keeps the report when it comes from the expected origin.
  void Offer(LevelOrigin origin, const LevelReport& report);

  // Reports are taken from this origin from now on; a waiting one from another is dropped.
  void Expect(LevelOrigin origin);
  LevelOrigin expected() const;
  // In reportWaiting: the latest report, if one is waiting.
  std::optional<LevelReport> Take();

 private:
  WindowImplBase* window_;
  const std::function<void()> reportWaiting_;
  mutable std::mutex mutex_;
  LevelOrigin expected_;               // guarded by mutex_
  std::optional<LevelReport> latest_;  // guarded by mutex_
  bool posted_ = false;                // guarded by mutex_: reportWaiting is on its way
};

}  // namespace zav
