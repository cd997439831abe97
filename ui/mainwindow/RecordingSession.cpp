#include "RecordingSession.h"

#include <glog/logging.h>

#include "ChoicesPanel.h"
#include "RecorderControls.h"
#include "RecordingPrompts.h"
#include "StoredChoices.h"
#include "dui/PromptBoxDialog.h"
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

namespace {

void ShowPrompt(WindowImplBase* owner, const Prompt& prompt) {
  PromptBoxDialog::Show(owner, prompt.text, prompt.width, prompt.height);
}

}  // namespace

RecordingSession::RecordingSession(WindowImplBase* window, WorkQueue* disk, RecorderControls* controls,
                                   const ChoicesPanel* choices, RecordingsList* list, LatestLevels* levels,
                                   DeviceProbe* probe)
    : window_(window),
      disk_(disk),
      controls_(controls),
      choices_(choices),
      list_(list),
      events_(std::make_unique<Events>(this, window, levels)),
      controller_(std::make_unique<RecordingController>(events_.get(), nullptr, probe)) {}

RecordingSession::~RecordingSession() {
  // The controller stops what still runs and joins its workers; their posted reports are
  // dropped with the window.
  controller_.reset();
}

bool RecordingSession::IsIdle() const {
  return startRequest_ == 0 && controller_->state() == RecordingController::State::kIdle;
}

bool RecordingSession::IsPaused() const { return controller_->state() == RecordingController::State::kPaused; }

bool RecordingSession::IsRecording() const {
  return controller_->state() == RecordingController::State::kRecording;
}

void RecordingSession::Start() {
  if (!IsIdle()) return;
  const uint64_t request = ++lastRequest_;
  startRequest_ = request;
  // The settings store is read on the disk worker, after any choice the user changed before.
  disk_->Post([this, request] {
    RecorderSettings stored = ReadStoredRecordingSettings();
    window_->PostTask([this, stored = std::move(stored), request]() mutable { BeginStart(std::move(stored), request); });
  });
}

void RecordingSession::BeginStart(RecorderSettings stored, uint64_t request) {
  if (request != startRequest_) return;  // stopped before it began
  startRequest_ = 0;
  choices_->FillFormatAndBitRate(&stored);
  const uint64_t id = controller_->Start(stored);
  if (id == 0) return;
  starting_ = id;
  unfinished_.insert(id);
}

void RecordingSession::OnStarted(const StartReport& report) {
  const bool started = IsStarted(report.result);
  if (!started) Forget(report.recording);
  if (report.recording != starting_) return;  // the user stopped it while it was starting
  starting_ = 0;
  if (started) {
    LOG(INFO) << "recording " << report.path;
    controls_->Show(RecorderLook::kRecording);
  }
  if (const auto prompt = PromptForStart(report.result)) {
    ShowPrompt(window_, *prompt);
  } else if (const auto standIn = PromptForStandIn(report)) {
    ShowPrompt(window_, *standIn);
  }
}

void RecordingSession::Pause() {
  if (controller_->Pause()) controls_->Show(RecorderLook::kPaused);
}

void RecordingSession::Resume() {
  if (controller_->Resume()) controls_->Show(RecorderLook::kRecording);
}

void RecordingSession::Stop() {
  if (startRequest_ != 0) {
    startRequest_ = 0;
    return;
  }
  starting_ = 0;
  if (!controller_->Stop()) return;
  controls_->Show(RecorderLook::kIdle);
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
  ShowPrompt(window_, PromptForFault(fault));
}

void RecordingSession::OnFinished(const FinishReport& report) {
  LOG(INFO) << "recording finished " << report.path << (report.good() ? "" : " (incomplete)");
  // A file deleted or moved while it was recorded has nothing left at its path to list, and
  // a recording that no audio reached was removed.
  if (!report.fileName.empty() && !report.fileGone && !report.removed) list_->AddRecording(report.folder, report.fileName);
  // Said unless a fault said it already, or the window is closing.
  if (report.removed && !report.writeFailed && !afterFinish_) ShowPrompt(window_, PromptForEmptyRecording());
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

bool RecordingSession::FinishBeforeClose(std::function<void()> then) {
  Stop();
  if (unfinished_.empty()) return false;
  afterFinish_ = std::move(then);
  return true;
}

}  // namespace zav
