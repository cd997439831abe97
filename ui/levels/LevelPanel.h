#pragma once
// The two level meters beside the volume sliders (microphone, system sound). While a recording
// runs they show its levels; while nothing is recorded and the window is shown, an idle level
// monitor measures the chosen sources so that a user can check the microphone before starting.
// The monitor is started and stopped on a worker of its own, so the UI thread never waits for
// the sound server; it runs only while the window is shown, not minimised, and idle, and
// shortly before a scheduled job records: its capture keeps the sound server's sinks handing
// out what they play at once, so that a recording started then hears them from its first
// moment (a sink left alone may have rendered seconds ahead, which a new reader misses). The
// monitor stops when the recording reports its start, by which time the recording's own
// capture is open.
//
// UI thread only, except what the header of LatestLevels says of its Offer.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "LatestLevels.h"
#include "RecorderTypes.h"
#include "mainwindow/RecorderControls.h"

class QComboBox;

namespace zav {

class CLevelMeterUI;
class LevelMonitor;
class WindowImplBase;
class WorkQueue;

class LevelPanel {
 public:
  explicit LevelPanel(WindowImplBase* window);
  // Stops the monitor and waits for it.
  ~LevelPanel();

  // Where recordings hand their reports (from their capture threads).
  LatestLevels& latest() { return latest_; }

  // The window is shown to the user (visible and not minimised), or not.
  void SetWindowShown(bool shown);
  // A scheduled job records or is about to (JobRunner::JobAhead).
  void SetJobAhead(bool ahead);
  // The source combo shows the stored (or a newly chosen) source: the monitor measures that.
  void SourceChanged();
  // The chosen devices: the monitor measures those.
  void DevicesChanged(const CaptureDevices& devices);
  // The recorder controls' look changed; recording: the current recording's id.
  void FollowRecorder(RecorderLook look, uint64_t recording);
  // For tests: the source the idle monitor measures, while it runs.
  std::optional<VoiceSource> MonitorRunning() const;
  // For tests: hand-overs handled so far (each takes the latest report, if one is left).
  int handOversHandled() const { return handOversHandled_; }

 private:
  struct MonitorWish {
    bool run = false;
    VoiceSource source = VoiceSource::Both;
    CaptureDevices devices;
    uint64_t runId = 0;
  };
  // Works out what should run and what the meters follow after any change.
  void Update();
  void Want(const MonitorWish& wish);
  // On the worker: brings the monitor to the latest wish.
  void ApplyWish();
  // A report is waiting in latest_: the meters show it.
  void ShowLatest();
  void ShowNothing();

  QComboBox* source_;
  CLevelMeterUI* microphone_;
  CLevelMeterUI* systemSound_;
  LatestLevels latest_;

  bool shown_ = false;
  bool jobAhead_ = false;
  bool sourceKnown_ = false;  // the stored source is shown; until then nothing is measured
  CaptureDevices devices_;
  RecorderLook look_ = RecorderLook::kIdle;
  uint64_t recording_ = 0;
  MonitorWish wish_;          // the latest one asked for
  uint64_t lastRun_ = 0;
  int handOversHandled_ = 0;

  // What the worker has yet to apply: only the latest wish counts.
  std::mutex wantedMutex_;
  std::optional<MonitorWish> wanted_;  // guarded by wantedMutex_
  std::atomic<uint64_t> runningId_{0};  // the monitor's run, read by its sink
  std::atomic<int> runningSource_{-1};  // for tests: -1 while stopped
  std::unique_ptr<LevelMonitor> monitor_;  // used on the worker only
  std::unique_ptr<WorkQueue> worker_;      // last: joined before the rest goes
};

}  // namespace zav
