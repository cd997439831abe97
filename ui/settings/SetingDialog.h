#pragma once
// SetingDialog ("系统设置"): the output folder ("output-dir", changed with "choose-dir" after a
// write check, opened in the file manager with "open-dir"), what closing the main window
// does ("window-close-exit" / "window-close-tray"), whether the program starts with the desktop
// ("autostart-check": the autostart entry) and whether recordings that start and files saved
// while the window is hidden are notified ("notify-check"). Every change is stored at once. Deletes
// itself when its window is destroyed. On a desktop without a tray, closing always quits: the
// tray choice is greyed out and "exit" shown, while the stored choice is kept for a desktop
// that has one.
//
// The settings are read and written, and a chosen folder is checked, on the settings worker, in
// the order the user acts: the window never waits on the disk, and whoever reads the settings
// after the dialog has closed sees its changes.

#include <string>

#include "FolderWriteCheck.h"
#include "dui/WindowImplBase.h"

class QAbstractButton;
class QLineEdit;

namespace zav {

class WorkQueue;

class SetingDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // disk: the settings worker; it outlives the dialog. trayShown: whether the program's icon is
  // in a notification area.
  explicit SetingDialog(WorkQueue& disk, bool trayShown = true) : disk_(disk), trayShown_(trayShown) {}

  static inline const QString kNotWritableText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "该目录没有写入权限!"));
  static inline const QString kNoTrayTip = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "当前桌面没有系统托盘，关闭主窗口时将退出程序"));
  static inline const QString kAutostartNotSetText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "开机自动启动设置失败!"));

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("系统设置"); }
  QString GetSkinFile() override { return QStringLiteral("Seting.xml"); }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  void OnFinalMessage() override { delete this; }

 private:
  struct Stored {
    std::string outputFolder;
    bool closeToTray = false;
    bool autostart = false;
    bool notify = true;
  };
  void ShowStored(const Stored& stored);
  void StoreCloseChoice(bool toTray);
  void StoreAutostart(bool on);
  void ChooseFolder();
  void OnFolderChecked(const QString& folder, FolderChoice choice);
  void OpenFolder();

  WorkQueue& disk_;
  const bool trayShown_;
  QLineEdit* outputDir_ = nullptr;
  QAbstractButton* chooseDir_ = nullptr;
  // What the user did before the stored settings arrived wins over them.
  bool folderChosen_ = false;
  bool closeChosen_ = false;
  bool autostartChosen_ = false;
  bool notifyChosen_ = false;
};

// What the tray menu's settings entry runs: the dialog, modal over owner.
void ShowSetingDialog(QWidget* owner, WorkQueue& disk, bool trayShown);

}  // namespace zav
