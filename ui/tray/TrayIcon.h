#pragma once
// The program's icon in the notification area, from construction to destruction. A left click
// posts kTrayCallback with kMouseLeftDown to the owner, a right click kTrayCallback with
// kMouseRightDown. On a desktop without a notification area there is no icon and nothing else
// changes.
//
// UI thread only.

#include <QIcon>
#include <QPointer>
#include <QString>

#include <memory>

class QSystemTrayIcon;

namespace zav {

class WindowImplBase;

class TrayIcon {
 public:
  static inline const QString kTip = QStringLiteral("ZAV电脑录音软件");
  static inline const QString kRecordingTip = QStringLiteral("ZAV电脑录音软件 - 正在录音");

  // owner receives the clicks; it may go away before the icon.
  TrayIcon(WindowImplBase* owner, const QIcon& icon, const QString& tip = kTip);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // The text shown when the pointer rests on the icon (the main window says it is recording).
  void SetTip(const QString& tip);
  // True while the icon is in the notification area.
  bool IsShown() const;

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace zav
