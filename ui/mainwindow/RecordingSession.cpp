#include "RecordingSession.h"

#include <glog/logging.h>

#include "ChoicesPanel.h"
#include "RecorderControls.h"
#include "RecordingPrompts.h"
#include "StoredChoices.h"
#include "RecordingNotices.h"
#include "dui/WindowImplBase.h"
#include "dui/WorkQueue.h"
#include "levels/LatestLevels.h"
#include "recordings/RecordingsList.h"

namespace zav {

// The controller's reports, called on its threads, become tasks for the session on the window's
// thread; the seconds a message for the window, and the levels go to the level hand-over.
class RecordingSession::Events final : public RecordingListener {
 public:
  Events(RecordingSession* session, WindowImplBase* window, LatestLevels* levels)
      : session_(session), window_(window), levels_(levels) {}

  void OnStarted(const StartReport& report) override {
    window_->PostTask([session = session_, report] { session->OnStarted(report); });
  }
  void OnSeconds(uint64_t recording, int64_t seconds) override {
    window_->PostMessage(WM_RECORD_SECONDS, static_cast<uintptr_t>(recording), static_cast<intptr_t>(seconds));
  }
  void OnFault(uint64_t recording, RecordingFault fault) override {
    window_->PostTask([session = session_, recording, fault] { session->OnFault(recording, fault); });
  }
  void OnFinished(const FinishReport& report) override {
    window_->PostTask([session = session_, report] { session->OnFinished(report); });
  }
  void OnLevels(uint64_t recording, const LevelReport& levels) override {
    if (levels_) levels_->Offer(LevelOrigin::Recording(recording), levels);
  }

 private:
  RecordingSession* session_;
  WindowImplBase* window_;
  LatestLevels* levels_;
};

RecordingSession::RecordingSession(WindowImplBase* window, WorkQueue* disk, RecorderControls* controls,
                                   const ChoicesPanel* choices, RecordingsList* list, LatestLevels* levels,
                                   RecordingNotices* notices, DeviceProbe* probe)
    : window_(window),
      disk_(disk),
      controls_(controls),
      choices_(choices),
      list_(list),
      notices_(notices),
      events_(std::make_unique<Events>(this, window, levels)),
      controller_(std::make_unique<RecordingController>(events_.get(), nullptr, probe)) {}

RecordingSession::~RecordingSession() {
  // The controller stops what still runs and joins its workers; their posted reports are
  // dropped with the window.
  controller_.reset();
}

bool RecordingSession::IsIdle() const {
  return waiting_.number == 0 && controller_->state() == RecordingController::State::kIdle;
}

bool RecordingSession::IsPaused() const { return controller_->state() == RecordingController::State::kPaused; }

bool RecordingSession::IsRecording() const {
  return controller_->state() == RecordingController::State::kRecording;
}

void RecordingSession::Start() { Begin({}); }

uint64_t RecordingSession::StartJob(JobRecording job) {
  Request request;
  request.job = std::move(job);
  return Begin(std::move(request));
}

uint64_t RecordingSession::Begin(Request request) {
  if (!IsIdle()) return 0;
  request.number = ++lastRequest_;
  const uint64_t number = request.number;
  waiting_ = std::move(request);
  // The settings store is read on the disk worker, after any choice the user changed before.
  disk_->Post([this, number] {
    RecorderSettings stored = ReadStoredRecordingSettings();
    window_->PostTask([this, stored = std::move(stored), number]() mutable { BeginStart(std::move(stored), number); });
  });
  return number;
}

void RecordingSession::BeginStart(RecorderSettings stored, uint64_t number) {
  if (number != waiting_.number) return;  // stopped before it began
  Request request = std::move(waiting_);
  waiting_ = {};
  choices_->FillFormatAndBitRate(&stored);
  if (request.job) stored.fileStem = request.job->fileStem;
  const uint64_t id = controller_->Start(stored);
  if (id == 0) {
    Ended(request, false);
    return;
  }
  starting_ = id;
  unfinished_.emplace(id, std::move(request));
}

void RecordingSession::OnStarted(const StartReport& report) {
  const bool started = IsStarted(report.result);
  const auto it = unfinished_.find(report.recording);
  const JobRecording* job = it != unfinished_.end() && it->second.job ? &*it->second.job : nullptr;
  if (started && report.recording == starting_) notices_->Started(report.path, job);
  if (!started) {
    if (it != unfinished_.end()) Ended(it->second, false);
    Forget(report.recording);
  }
  if (report.recording != starting_) return;  // the user stopped it while it was starting
  starting_ = 0;
  if (started) {
    LOG(INFO) << "recording " << report.path;
    controls_->Show(RecorderLook::kRecording);
  }
  if (const auto prompt = PromptForStart(report.result)) {
    notices_->Failed(*prompt);
  } else if (const auto standIn = PromptForStandIn(report)) {
    notices_->Failed(*standIn);
  }
}

void RecordingSession::Pause() {
  if (controller_->Pause()) controls_->Show(RecorderLook::kPaused);
}

void RecordingSession::Resume() {
  if (controller_->Resume()) controls_->Show(RecorderLook::kRecording);
}

void RecordingSession::Stop() {
  if (waiting_.number != 0) {
    Ended(waiting_, false);
    waiting_ = {};
    return;
  }
  starting_ = 0;
  const uint64_t current = controller_->current();
  if (!controller_->Stop()) return;
  controls_->Show(RecorderLook::kIdle);
  if (const auto it = unfinished_.find(current); it != unfinished_.end()) Ended(it->second, true);
}

void RecordingSession::StopJob(uint64_t number) {
  if (number == 0) return;
  if (waiting_.number == number) {
    Stop();
    return;
  }
  const auto it = unfinished_.find(controller_->current());
  if (it != unfinished_.end() && it->second.number == number) Stop();
}

void RecordingSession::Toggle() {
  if (IsIdle()) {
    Start();
  } else if (IsPaused()) {
    Resume();
  } else if (IsRecording()) {
    Pause();
  }
}

void RecordingSession::OnSeconds(uint64_t recording, int64_t seconds) {
  // Seconds of a recording already stopped may still be queued: they must not overwrite the
  // idle look's "00:00:00".
  if (recording != 0 && recording != controller_->current()) return;
  controls_->ShowSeconds(seconds);
}

void RecordingSession::OnFault(uint64_t recording, RecordingFault fault) {
  if (recording == 0 || recording != controller_->current()) return;
  LOG(ERROR) << "MainWnd: recording " << recording << " stopped on fault " << static_cast<int>(fault);
  Stop();
  notices_->Failed(PromptForFault(fault));
}

void RecordingSession::OnFinished(const FinishReport& report) {
  LOG(INFO) << "recording finished " << report.path << (report.good() ? "" : " (incomplete)");
  // A file deleted or moved while it was recorded has nothing left at its path to list, and
  // a recording that no audio reached was removed.
  const bool kept = !report.fileName.empty() && !report.fileGone && !report.removed;
  if (kept) list_->AddRecording(report.folder, report.fileName);
  // Said unless a fault said it already, or the window is closing.
  if (!afterFinish_) {
    if (report.removed && !report.writeFailed) {
      notices_->Failed(PromptForEmptyRecording());
    } else if (const auto lost = PromptForLostDevices(report); lost && kept) {
      notices_->Failed(*lost);
    } else if (kept && report.good()) {
      notices_->Saved(report.path);
    }
  }
  Forget(report.recording);
}

void RecordingSession::Forget(uint64_t recording) {
  unfinished_.erase(recording);
  if (afterFinish_ && unfinished_.empty()) {
    auto then = std::move(afterFinish_);
    afterFinish_ = nullptr;
    then();
  }
}

void RecordingSession::Ended(Request& request, bool recorded) {
  if (!request.job || !request.job->ended) return;
  const std::function<void(bool)> ended = std::move(request.job->ended);
  request.job->ended = nullptr;
  ended(recorded);
}

bool RecordingSession::FinishBeforeClose(std::function<void()> then) {
  Stop();
  if (unfinished_.empty()) return false;
  afterFinish_ = std::move(then);
  return true;
}

}  // namespace zav
