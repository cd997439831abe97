#pragma once
// Runs the main window's recordings through a RecordingController: reads the stored choices on
// the disk worker, starts, pauses, resumes and stops, keeps the recorder controls in step with
// the recorder, tells the user what went wrong (RecordingNotices: in the window while it is on
// screen, as notifications while it is hidden), and lists each file once it is complete. The
// buttons, the keys, the hotkeys and the scheduled jobs (JobRecorder) all start recordings here,
// one at a time.
//
// UI thread only. The controller's reports come to the session as tasks posted to the window's
// thread (start, fault and finish reports), never inside a call; the elapsed seconds come as
// WM_RECORD_SECONDS, which the window hands to OnSeconds.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "RecordingController.h"
#include "jobs/JobRecorder.h"

namespace zav {

class ChoicesPanel;
class LatestLevels;
class RecorderControls;
class RecordingNotices;
class RecordingsList;
class WindowImplBase;
class WorkQueue;

class RecordingSession final : public JobRecorder {
 public:
  // levels: where the recordings' live levels go (may be null). probe: the devices the
  // controller checks (null: the sound server's). notices: what the user is told.
  RecordingSession(WindowImplBase* window, WorkQueue* disk, RecorderControls* controls,
                   const ChoicesPanel* choices, RecordingsList* list, LatestLevels* levels,
                   RecordingNotices* notices, DeviceProbe* probe = nullptr);
  // Stops a recording still running and waits for its file (the window is closing anyway).
  ~RecordingSession() override;

  void Start();
  void Pause();
  void Resume();
  // The window turns idle at once; the file is listed when the controller reports it complete.
  void Stop();
  // The start/pause key: idle starts, recording pauses, paused resumes; a start under way waits.
  void Toggle();

  bool IsIdle() const override;
  bool IsPaused() const;
  bool IsRecording() const;
  // The recording in progress (0 when idle).
  uint64_t CurrentRecording() const { return controller_->current(); }

  // JobRecorder: a scheduled job's recording, named after the job.
  uint64_t StartJob(JobRecording job) override;
  void StopJob(uint64_t number) override;

  // WM_RECORD_SECONDS, posted to the window by the controller's threads.
  void OnSeconds(uint64_t recording, int64_t seconds);

  // Closing: when a recording is running or a file is still being finished, stops it, runs
  // then() once every file is complete and returns true. False when nothing is unfinished.
  bool FinishBeforeClose(std::function<void()> then);

 private:
  class Events;

  // A recording from the request to its file: a job's, or the user's (no job).
  struct Request {
    uint64_t number = 0;
    std::optional<JobRecording> job;
  };

  uint64_t Begin(Request request);
  void BeginStart(RecorderSettings stored, uint64_t number);
  void OnStarted(const StartReport& report);
  void OnFault(uint64_t recording, RecordingFault fault);
  void OnFinished(const FinishReport& report);
  void Forget(uint64_t recording);
  // Tells a job's owner that its recording is over (once).
  static void Ended(Request& request, bool recorded);

  WindowImplBase* window_;
  WorkQueue* disk_;
  RecorderControls* controls_;
  const ChoicesPanel* choices_;
  RecordingsList* list_;
  RecordingNotices* notices_;

  // A start waiting for the stored choices (number 0 when none).
  Request waiting_;
  uint64_t lastRequest_ = 0;
  // The recording whose start the controller has not reported yet (0 when none, or when the
  // user stopped it meanwhile: its report then changes nothing on screen).
  uint64_t starting_ = 0;
  // Recordings started and not yet finished (or failed), by the controller's number: their
  // files are not complete.
  std::map<uint64_t, Request> unfinished_;
  std::function<void()> afterFinish_;

  std::unique_ptr<Events> events_;
  std::unique_ptr<RecordingController> controller_;
};

}  // namespace zav
