#include "MainWnd.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>

#include "ChoicesPanel.h"
#include "DevicePanel.h"
#include "CloseRule.h"
#include "ConfigStore.h"
#include "DesktopShell.h"
#include "ElapsedTime.h"
#include "FolderPanel.h"
#include "RecorderControls.h"
#include "RecorderKeys.h"
#include "RecordingSession.h"
#include "ServiceAddress.h"
#include "StoredChoices.h"
#include "VolumePanel.h"
#include "dui/WorkQueue.h"
#include "hotkeys/HotkeyDialog.h"
#include "hotkeys/RecorderHotkeys.h"
#include "jobs/CronJobDialog.h"
#include "levels/LevelMeterUI.h"
#include "levels/LevelPanel.h"
#include "online/OnlineServices.h"
#include "RecordingNotices.h"
#include "recordings/RecordingsList.h"
#include "settings/SetingDialog.h"
#include "timeline/PaintViewUI.h"
#include "tray/DesktopNotifications.h"
#include "tray/MainTaskMenu.h"
#include "tray/TrayIcon.h"

namespace zav {

CMainWnd::CMainWnd(DesktopShell* shell, DeviceProbe* probe, JobRunner::Clock jobClock)
    : shell_(shell ? shell : &SystemDesktopShell()),
      probe_(probe),
      disk_(std::make_unique<WorkQueue>("zav-settings")),
      jobClock_(std::move(jobClock)) {}

CMainWnd::~CMainWnd() {
  online_.reset();  // aborts any request under way at once
  jobs_.reset();    // no job starts from here on
  // The disk worker first: its jobs belong to the groups below. The user's last changes still
  // reach the disk; what the jobs post back is dropped with the window.
  disk_->Stop(WorkQueue::Pending::kRun);
  session_.reset();  // a recording still running is stopped and finished here
  // The notices go before the notifications, whose answers would be delivered to them.
  notices_.reset();
  notifications_.reset();
  devices_.reset();  // the device watcher stops
  levels_.reset();   // the idle monitor stops
  recordings_.reset();
  volumes_.reset();
}

void CMainWnd::InitWindow() {
  // No maximise box and no sizing frame: the skin fixes the window's size.
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  setFixedSize(size());
  SetWindowProp(kWindowProp);
  SetIcon(QStringLiteral("app-icon.png"));
  tray_ = std::make_unique<TrayIcon>(this, windowIcon());

  controls_ = std::make_unique<RecorderControls>(*this);
  controls_->OnLookChanged([this](RecorderLook look) {
    UpdateTrayTip();
    if (levels_ && session_) levels_->FollowRecorder(look, session_->CurrentRecording());
    if (devices_) devices_->SetRecording(look != RecorderLook::kIdle);
  });
  choices_ = std::make_unique<ChoicesPanel>(*this, disk_.get());
  volumes_ = std::make_unique<VolumePanel>(this, disk_.get());
  levels_ = std::make_unique<LevelPanel>(this);
  devices_ = std::make_unique<DevicePanel>(*this, disk_.get(),
                                           [this](const CaptureDevices& devices) { levels_->DevicesChanged(devices); });
  folder_ = std::make_unique<FolderPanel>(this, disk_.get(), shell_);
  recordings_ = std::make_unique<RecordingsList>(this, disk_.get(), shell_);
  notifications_ = std::make_unique<DesktopNotifications>(QDBusConnection::sessionBus());
  notices_ = std::make_unique<RecordingNotices>(this, disk_.get(), shell_, notifications_.get());
  session_ = std::make_unique<RecordingSession>(this, disk_.get(), controls_.get(), choices_.get(),
                                                recordings_.get(), &levels_->latest(), notices_.get(), probe_);
  jobs_ = std::make_unique<JobRunner>(*session_, *disk_, std::string(), jobClock_);
  connect(jobs_.get(), &JobRunner::JobAhead, this, [this](bool ahead) { levels_->SetJobAhead(ahead); });

  new RecorderKeys(this, [this] {
    if (session_) ToggleRecording();
  });
  hotkeys_ = std::make_unique<RecorderHotkeys>(this, *disk_);
  hotkeys_->RegisterAtStartup();

  controls_->Show(RecorderLook::kIdle);
  levels_->SetWindowShown(isVisible() && !isMinimized());
  volumes_->Load();
  LoadStoredChoices();
  online_ = std::make_unique<OnlineServices>(
      this, VendorServiceBaseUrl(),
      OnlineServices::Hooks{[shell = shell_](const QUrl& url) { return shell->Open(url); },
                            [shell = shell_](const QString& path) { shell->ShowInFileManager(QUrl::fromLocalFile(path)); },
                            // The installer runs, or a mandatory upgrade was refused: quit the way
                            // the menu does, so a recording is finished first.
                            [this] { PostMessage(kMenuQuit); }});
  online_->CheckForUpgrade(UpgradeCheckMode::kQuiet);
  recordings_->StartScan();
  jobs_->Begin();
}

bool CMainWnd::RecorderIdle() const { return session_->IsIdle(); }

bool CMainWnd::HasTrayIcon() const { return tray_ && tray_->IsShown(); }

void CMainWnd::LoadStoredChoices() {
  disk_->Run(this, [] { return ReadStoredChoices(); },
             [this](const StoredChoices& stored) {
               choices_->Show(stored);
               devices_->Show(stored.devices);
               devices_->SourceChanged(VoiceSourceAt(stored.source.value_or(0)));
               folder_->Show(stored.outputFolder);
               levels_->SourceChanged();
             });
}

bool CMainWnd::SettingsWorkPending() const {
  return disk_->Busy() || volumes_->Loading() || (hotkeys_ && hotkeys_->StartupPending());
}

void CMainWnd::StartRecording() { session_->Start(); }
void CMainWnd::PauseRecording() { session_->Pause(); }
void CMainWnd::ResumeRecording() { session_->Resume(); }
void CMainWnd::StopRecording() { session_->Stop(); }
void CMainWnd::ToggleRecording() { session_->Toggle(); }

void CMainWnd::Notify(TNotifyUI& msg) {
  if (msg.sender && session_ && !HandleRecorderClick(msg) &&
      !(msg.type == kNotifyClick && OpenLinkedWindow(msg.sender->objectName()))) {
    choices_->Handle(msg) || devices_->Handle(msg) || volumes_->Handle(msg) || folder_->Handle(msg) ||
        recordings_->Handle(msg);
    if (msg.type == kNotifyItemSelect && msg.sender->objectName() == QLatin1String("record-audio-origin")) {
      devices_->SourceChanged(VoiceSourceAt(static_cast<int>(msg.wParam)));
      levels_->SourceChanged();
    }
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

bool CMainWnd::OpenLinkedWindow(const QString& name) {
  if (name == QLatin1String("help")) {
    online_->OpenHelpPage();
  } else if (name == QLatin1String("feedback")) {
    online_->ShowFeedback();
  } else if (name == QLatin1String("hotkey-btn")) {
    ShowHotkeyDialog(this, *hotkeys_);
  } else if (name == QLatin1String("cron-job-btn")) {
    ShowCronJobDialog(this, *disk_, jobs_.get());
  } else if (name == QLatin1String("seting-btn")) {
    ShowSetingDialog(this, *disk_, HasTrayIcon());
  } else if (name == QLatin1String("upgrade-btn")) {
    online_->CheckForUpgrade(UpgradeCheckMode::kInteractive);
  } else {
    return false;
  }
  return true;
}

void CMainWnd::OnTrayCallback(intptr_t mouseMessage) {
  if (mouseMessage == kMouseLeftDown) {
    BringToFront();
  } else if (mouseMessage == kMouseRightDown) {
    BringToFront();
    OpenMainTaskMenu(this, QCursor::pos());
  }
}

void CMainWnd::OnMenuCommand(unsigned command) {
  switch (command) {
    case kMenuQuit:
      Close(static_cast<int>(kMenuQuit));
      break;
    case kMenuHome:
      BringToFront();
      break;
    case kMenuHelp:
      online_->OpenHelpPage();
      break;
    case kMenuSeting:
      BringToFront();
      ShowSetingDialog(this, *disk_, tray_ && tray_->IsShown());
      break;
    case kMenuFeedback:
      BringToFront();
      online_->ShowFeedback();
      break;
    case kMenuUpgrade:
      online_->CheckForUpgrade(UpgradeCheckMode::kInteractive);
      break;
    default:
      break;
  }
}


void CMainWnd::UpdateTrayTip() {
  if (tray_ && session_) tray_->SetTip(session_->IsIdle() ? TrayIcon::kTip : TrayIcon::kRecordingTip);
}

intptr_t CMainWnd::HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) {
  if (message == WM_HOTKEY) {
    // A press posted just before the window went may still arrive.
    handled = hotkeys_ && session_ &&
              hotkeys_->Dispatch(wParam, [this] { ToggleRecording(); }, [this] { StopRecording(); });
    return 0;
  }
  if (message == kTrayCallback && online_) {
    OnTrayCallback(lParam);
    handled = true;
    return 0;
  }
  if (message >= kMenuQuit && message <= kMenuUpgrade && online_) {
    OnMenuCommand(message);
    handled = true;
    return 0;
  }
  if (message == WM_RECORD_SECONDS && session_) {
    session_->OnSeconds(wParam, lParam);
    handled = true;
    return 0;
  }
  return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
}

QWidget* CMainWnd::CreateControl(const QString& className, QWidget* parent) {
  if (QWidget* view = CPaintViewUI::CreateForSkin(className, this, parent)) return view;
  return CLevelMeterUI::CreateForSkin(className, parent);
}

void CMainWnd::OnClose(uintptr_t closeParam, bool& handled) {
  if (!closeRule_) {
    // "window-close" is read afresh at each close, so that a hand edit counts; on the disk
    // worker, then the close goes on with what it says.
    handled = true;
    disk_->Run(this, [] { return ConfigStore::Instance().ReadInt(kGlobalSection, keys::kWindowClose, 0); },
               [this, closeParam](int windowClose) {
                 closeRule_ = windowClose;
                 Close(static_cast<int>(closeParam));
                 closeRule_.reset();
               });
    return;
  }
  // With "window-close" set, closing only minimises: the program, and a recording, go on. Not
  // without a tray icon, which alone could bring the window back.
  if (DecideClose(closeParam, *closeRule_, tray_ && tray_->IsShown()) == CloseAction::kMinimize) {
    showMinimized();
    handled = true;
    return;
  }
  if (QWidget* box = QApplication::activeModalWidget(); box && box != this) {
    // A box runs its loop inside one of this window's handlers: close the box first, and this
    // window once that handler has returned.
    box->close();
    PostTask([this, closeParam] { Close(static_cast<int>(closeParam)); });
    handled = true;
    return;
  }
  // A recording still running is stopped and its file completed before the window goes; no
  // scheduled job starts meanwhile.
  if (jobs_) jobs_->Halt();
  if (session_ && session_->FinishBeforeClose([this, closeParam] { Close(static_cast<int>(closeParam)); })) {
    handled = true;
    return;
  }
  WindowImplBase::OnClose(closeParam, handled);
}

void CMainWnd::OnDestroy() {
  // The grabs and the tray icon go with the window, before the application object.
  hotkeys_.reset();
  tray_.reset();
}

// The idle level monitor follows whether the user can see the window.
void CMainWnd::showEvent(QShowEvent* event) {
  WindowImplBase::showEvent(event);
  if (levels_) levels_->SetWindowShown(!isMinimized());
}

void CMainWnd::hideEvent(QHideEvent* event) {
  WindowImplBase::hideEvent(event);
  if (levels_) levels_->SetWindowShown(false);
}

void CMainWnd::changeEvent(QEvent* event) {
  WindowImplBase::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && levels_) levels_->SetWindowShown(isVisible() && !isMinimized());
}

void CMainWnd::OnFinalMessage() {
  // Ends the event loop of start-up (and any modal loop still running) with code 0.
  QCoreApplication::exit(0);
  delete this;
}

}  // namespace zav
