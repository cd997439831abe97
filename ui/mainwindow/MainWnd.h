#pragma once
// CMainWnd: the program's one top-level window, skin "MainWindow.xml". A dispatcher: each group
// of controls is a small class of its own (recorder controls, recording choices, devices,
// volumes, output folder, level meters, recordings list), and the window routes their notifications to
// them. Recordings run through a RecordingSession. The parts take their own reports from other
// threads as tasks posted to the window's thread (the session its start, fault and finish
// reports, the level panel its levels), and the recordings list runs its own timer.
//
// Messages posted to the window: WM_RECORD_SECONDS (wParam = the recording's id, or 0;
// lParam = whole seconds written) from the recording's threads; WM_HOTKEY from the hotkeys;
// the tray callback and the menu commands 1234-1239 from the tray icon and its menu.

#include <memory>
#include <optional>

#include "RecorderTypes.h"
#include "dui/WindowImplBase.h"
#include "jobs/JobRunner.h"
#include "tray/TrayMessages.h"

namespace zav {

class ChoicesPanel;
class DesktopNotifications;
class DevicePanel;
class DesktopShell;
class DeviceProbe;
class FolderPanel;
class LevelPanel;
class OnlineServices;
class RecorderControls;
class RecorderHotkeys;
class RecordingNotices;
class RecordingSession;
class RecordingsList;
class TrayIcon;
class VolumePanel;
class WorkQueue;

// The quit command: a close with this value always ends the program.
inline constexpr unsigned kCloseForQuit = kMenuQuit;

class CMainWnd : public WindowImplBase {
  Q_OBJECT

 public:
  static inline const QString kCaption = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "ZAV电脑录音软件"));
  // The window property that marks the main window for a second start.
  static constexpr char kWindowProp[] = "ZavAudioRecorder";

  // shell: the desktop that opens files and folders (null: the user's). probe: the devices a
  // start checks (null: the sound server's). jobClock: what the scheduled jobs go by.
  explicit CMainWnd(DesktopShell* shell = nullptr, DeviceProbe* probe = nullptr,
                    JobRunner::Clock jobClock = JobRunner::SystemClock());
  ~CMainWnd() override;

  // Recording control, also for the hotkeys and the tray menu. UI thread.
  void StartRecording();
  void PauseRecording();
  void ResumeRecording();
  void StopRecording();
  void ToggleRecording();

  // For tests and benchmarks.
  RecordingsList& recordings() { return *recordings_; }
  const VolumePanel& volumes() const { return *volumes_; }
  LevelPanel& levels() { return *levels_; }
  JobRunner& jobs() { return *jobs_; }
  // Nothing records, and nothing is starting.
  bool RecorderIdle() const;
  // True while the program's icon is in a notification area, which can bring a hidden window back.
  bool HasTrayIcon() const;
  bool SettingsWorkPending() const;

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("音频剪辑"); }
  QString GetSkinFile() override { return QStringLiteral("MainWindow.xml"); }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) override;
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  void OnClose(uintptr_t closeParam, bool& handled) override;
  void OnDestroy() override;
  void OnFinalMessage() override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void LoadStoredChoices();
  // Start, pause and stop buttons; false for any other notification.
  bool HandleRecorderClick(const TNotifyUI& msg);
  // The buttons that open another window or the help page; false for any other control.
  bool OpenLinkedWindow(const QString& controlName);
  void OnTrayCallback(intptr_t mouseMessage);
  void OnMenuCommand(unsigned command);
  // The tray tip says whether a recording runs.
  void UpdateTrayTip();

  DesktopShell* shell_;
  DeviceProbe* probe_;
  // Settings writes, folder tests, deletions: small disk work in the order it was asked for.
  // The dialogs this window opens use it too, so each read sees every earlier write.
  std::unique_ptr<WorkQueue> disk_;
  std::unique_ptr<RecorderControls> controls_;
  std::unique_ptr<ChoicesPanel> choices_;
  std::unique_ptr<VolumePanel> volumes_;
  std::unique_ptr<LevelPanel> levels_;  // outlives session_, whose recordings report to it
  std::unique_ptr<DevicePanel> devices_;
  std::unique_ptr<FolderPanel> folder_;
  std::unique_ptr<RecordingsList> recordings_;
  std::unique_ptr<DesktopNotifications> notifications_;
  std::unique_ptr<RecordingNotices> notices_;
  std::unique_ptr<RecordingSession> session_;
  const JobRunner::Clock jobClock_;
  std::unique_ptr<JobRunner> jobs_;
  std::unique_ptr<TrayIcon> tray_;
  std::unique_ptr<RecorderHotkeys> hotkeys_;
  std::unique_ptr<OnlineServices> online_;
  // "window-close" as read for the close in progress (read afresh at each close).
  std::optional<int> closeRule_;
};

}  // namespace zav
