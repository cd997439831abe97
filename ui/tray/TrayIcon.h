#pragma once
// The program's icon in the notification area, from construction to destruction: a
// StatusNotifierItem over D-Bus where the session bus has a watcher, an X11 tray icon
// otherwise. A left click posts kTrayCallback with kMouseLeftDown to the owner. On X11 a right
// click posts kTrayCallback with kMouseRightDown (the owner opens its menu at the cursor); on
// Wayland the panel draws the menu itself (HostMenu.h), whose entries post their commands. On a
// desktop without a notification area (DesktopHasTray) there is no icon.
//
// UI thread only.

#include <QIcon>
#include <QPointer>
#include <QString>

#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace zav {

class WindowImplBase;

class TrayIcon {
 public:
  static inline const QString kTip = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "ZAV电脑录音软件"));
  static inline const QString kRecordingTip = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "ZAV电脑录音软件 - 正在录音"));

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
  std::unique_ptr<QMenu> hostMenu_;  // outlives icon_, which shows it
  std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace zav
