#include "LevelPanel.h"

#include <QComboBox>

#include "LevelMeterUI.h"
#include "LevelMonitor.h"
#include "dui/WindowImplBase.h"
#include "dui/WorkQueue.h"
#include "mainwindow/StoredChoices.h"

namespace zav {

LevelPanel::LevelPanel(WindowImplBase* window)
    : source_(window->FindControl<QComboBox>(QStringLiteral("record-audio-origin"))),
      microphone_(window->FindControl<CLevelMeterUI>(QStringLiteral("mic-level-meter"))),
      systemSound_(window->FindControl<CLevelMeterUI>(QStringLiteral("sys-level-meter"))),
      latest_(window, [this] { ShowLatest(); }),
      monitor_(std::make_unique<LevelMonitor>([this](const LevelReport& report) {
        latest_.Offer(LevelOrigin::Monitor(runningId_.load()), report);
      })),
      worker_(std::make_unique<WorkQueue>("zav-levels")) {}

LevelPanel::~LevelPanel() {
  // A start still queued is dropped; the monitor is stopped and joined with its owner.
  worker_->Stop(WorkQueue::Pending::kDrop);
  monitor_.reset();
}

void LevelPanel::SetWindowShown(bool shown) {
  if (shown == shown_) return;
  shown_ = shown;
  Update();
}

void LevelPanel::SetJobAhead(bool ahead) {
  if (ahead == jobAhead_) return;
  jobAhead_ = ahead;
  Update();
}

void LevelPanel::SourceChanged() {
  sourceKnown_ = true;
  Update();
}

void LevelPanel::DevicesChanged(const CaptureDevices& devices) {
  devices_ = devices;
  Update();
}

void LevelPanel::FollowRecorder(RecorderLook look, uint64_t recording) {
  look_ = look;
  recording_ = recording;
  Update();
}

void LevelPanel::Update() {
  MonitorWish wish;
  wish.run = (shown_ || jobAhead_) && sourceKnown_ && look_ == RecorderLook::kIdle;
  if (wish.run) {
    wish.source = VoiceSourceAt(source_ ? source_->currentIndex() : 0);
    wish.devices = devices_;
  }
  if (wish.run != wish_.run || (wish.run && (wish.source != wish_.source || wish.devices != wish_.devices))) {
    wish.runId = wish.run ? ++lastRun_ : 0;
    Want(wish);
  }
  // A hidden window draws nothing, so it takes no reports either; a paused recording sends none.
  LevelOrigin origin;
  if (wish_.run && shown_) {
    origin = LevelOrigin::Monitor(wish_.runId);
  } else if (shown_ && look_ == RecorderLook::kRecording && recording_ != 0) {
    origin = LevelOrigin::Recording(recording_);
  }
  if (origin != latest_.expected()) {
    latest_.Expect(origin);
    ShowNothing();  // until the new origin reports
  }
}

void LevelPanel::Want(const MonitorWish& wish) {
  wish_ = wish;
  {
    std::lock_guard lock(wantedMutex_);
    const bool queued = wanted_.has_value();
    wanted_ = wish;
    if (queued) return;  // the queued job applies this newer wish
  }
  worker_->Post([this] { ApplyWish(); });
}

void LevelPanel::ApplyWish() {
  MonitorWish wish;
  {
    std::lock_guard lock(wantedMutex_);
    wish = *wanted_;
    wanted_.reset();
  }
  // The old run ends (its last report has been offered) before reports carry the new run's id.
  monitor_->Stop();
  runningSource_ = -1;
  if (!wish.run) return;
  runningId_ = wish.runId;
  monitor_->Start(wish.source, wish.devices);
  runningSource_ = monitor_->running() ? static_cast<int>(wish.source) : -1;
}

void LevelPanel::ShowLatest() {
  ++handOversHandled_;
  const std::optional<LevelReport> report = latest_.Take();
  if (!report) return;
  if (microphone_) microphone_->ShowLevel(report->microphone);
  if (systemSound_) systemSound_->ShowLevel(report->systemSound);
}

void LevelPanel::ShowNothing() {
  if (microphone_) microphone_->ShowNothing();
  if (systemSound_) systemSound_->ShowNothing();
}

std::optional<VoiceSource> LevelPanel::MonitorRunning() const {
  const int source = runningSource_.load();
  if (source < 0) return std::nullopt;
  return static_cast<VoiceSource>(source);
}

}  // namespace zav
