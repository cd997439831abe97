#include "MainWnd.h"

#include <QApplication>

#include "ChoicesPanel.h"
#include "DesktopShell.h"
#include "ElapsedTime.h"
#include "FolderPanel.h"
#include "OtherWindows.h"
#include "PaintViewUI.h"
#include "RecorderControls.h"
#include "RecordingSession.h"
#include "RecordingsList.h"
#include "StoredChoices.h"
#include "VolumePanel.h"
#include "WorkQueue.h"

namespace zav {

CMainWnd::CMainWnd(DesktopShell* shell, DeviceProbe* probe)
    : shell_(shell ? shell : &SystemDesktopShell()), probe_(probe), disk_(std::make_unique<WorkQueue>("zav-settings")) {}

CMainWnd::~CMainWnd() {
  // The disk worker first: its jobs belong to the groups below. The user's last changes still
  // reach the disk; what the jobs post back is dropped with the window.
  disk_->Stop(WorkQueue::Pending::kRun);
  session_.reset();  // a recording still running is stopped and finished here
  recordings_.reset();
  volumes_.reset();
}

void CMainWnd::InitWindow() {
  // No maximise box and no sizing frame: the skin fixes the window's size.
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  setFixedSize(size());
  SetWindowProp(kWindowProp);
  SetIcon(QStringLiteral("app-icon.png"));

  controls_ = std::make_unique<RecorderControls>(*this);
  choices_ = std::make_unique<ChoicesPanel>(*this, disk_.get());
  volumes_ = std::make_unique<VolumePanel>(this, disk_.get());
  folder_ = std::make_unique<FolderPanel>(this, disk_.get(), shell_);
  recordings_ = std::make_unique<RecordingsList>(this, disk_.get(), shell_);
  session_ = std::make_unique<RecordingSession>(this, disk_.get(), controls_.get(), choices_.get(),
                                                recordings_.get(), probe_);

  controls_->Show(RecorderLook::kIdle);
  volumes_->Load();
  LoadStoredChoices();
  // The quiet upgrade check starts here, before the scan of the recordings.
  recordings_->StartScan();
}

void CMainWnd::LoadStoredChoices() {
  disk_->Post([this] {
    StoredChoices stored = ReadStoredChoices();
    PostTask([this, stored = std::move(stored)] {
      choices_->Show(stored);
      folder_->Show(stored.outputFolder);
    });
  });
}

bool CMainWnd::SettingsWorkPending() const { return disk_->Busy() || volumes_->Loading(); }

void CMainWnd::StartRecording() { session_->Start(); }
void CMainWnd::PauseRecording() { session_->Pause(); }
void CMainWnd::ResumeRecording() { session_->Resume(); }
void CMainWnd::StopRecording() { session_->Stop(); }
void CMainWnd::ToggleRecording() { session_->Toggle(); }

void CMainWnd::Notify(TNotifyUI& msg) {
  if (msg.sender && session_ && !HandleRecorderClick(msg) &&
      !(msg.type == kNotifyClick && OpenOtherWindow(msg.sender->objectName(), this, *shell_))) {
    choices_->Handle(msg) || volumes_->Handle(msg) || folder_->Handle(msg) || recordings_->Handle(msg);
  }
  WindowImplBase::Notify(msg);
}

bool CMainWnd::HandleRecorderClick(const TNotifyUI& msg) {
  if (msg.type != kNotifyClick) return false;
  const QString name = msg.sender->objectName();
  if (name == QLatin1String("recorder-start")) {
    if (session_->IsIdle()) {
      StartRecording();
    } else if (session_->IsPaused()) {
      ResumeRecording();
    }
  } else if (name == QLatin1String("recorder-pause")) {
    if (session_->IsRecording()) PauseRecording();
  } else if (name == QLatin1String("recorder-stop")) {
    StopRecording();
  } else {
    return false;
  }
  return true;
}

intptr_t CMainWnd::HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) {
  if (message == WM_RECORD_SECONDS && session_) {
    session_->OnSeconds(wParam, lParam);
    handled = true;
    return 0;
  }
  if (message == kWmRecordFault && session_) {
    const bool known = lParam == static_cast<intptr_t>(RecordingFault::kMicrophoneFailed) ||
                       lParam == static_cast<intptr_t>(RecordingFault::kSystemSoundFailed);
    session_->OnFault(wParam, known ? static_cast<RecordingFault>(lParam) : RecordingFault::kWriteFailed);
    handled = true;
    return 0;
  }
  return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
}

QWidget* CMainWnd::CreateControl(const QString& className, QWidget* parent) {
  return CPaintViewUI::CreateForSkin(className, this, parent);
}

void CMainWnd::OnClose(uintptr_t closeParam, bool& handled) {
  if (QWidget* box = QApplication::activeModalWidget(); box && box != this) {
    // A box runs its loop inside one of this window's handlers: close the box first, and this
    // window once that handler has returned.
    box->close();
    PostTask([this, closeParam] { Close(static_cast<int>(closeParam)); });
    handled = true;
    return;
  }
  // A recording still running is stopped and its file completed before the window goes.
  if (session_ && session_->FinishBeforeClose([this, closeParam] { Close(static_cast<int>(closeParam)); })) {
    handled = true;
    return;
  }
  WindowImplBase::OnClose(closeParam, handled);
}

void CMainWnd::OnTimer(int id) {
  if (id == RecordingsList::kShowNewRowTimerId && recordings_) recordings_->OnShowNewRowTimer();
}

void CMainWnd::OnFinalMessage() {
  // Ends the event loop of start-up (and any modal loop still running) with code 0.
  QCoreApplication::exit(0);
  delete this;
}

}  // namespace zav
