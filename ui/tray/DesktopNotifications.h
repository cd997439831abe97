#pragma once
// Notifications through the desktop's notification service (org.freedesktop.Notifications on
// the session bus), for what the program tells the user while its window is hidden. Nothing
// depends on them: on a desktop without the service a note is not shown, and whoever asked is
// told so (a failure then shows a prompt box instead).
//
// UI thread only. Calls never wait for the bus: answers and the user's actions come later, on
// this thread.

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>

namespace zav {

class DesktopNotifications : public QObject {
  Q_OBJECT

 public:
  struct Note {
    QString summary;
    QString body;
    bool urgent = false;          // a failure: the desktop keeps it until it is read
    QString actionLabel;          // one action the user may pick; none when empty
    std::function<void()> onAction;
    uint32_t replaces = 0;        // a note of ours this one takes the place of (0: a new one)
  };

  // bus: the session bus (or a private one in tests).
  explicit DesktopNotifications(QDBusConnection bus);
  ~DesktopNotifications() override;

  // Shows note. shown(id) gets its number once the desktop took it; unshown() runs instead
  // when no notification service answered (or it refused).
  void Show(Note note, std::function<void(uint32_t id)> shown = {}, std::function<void()> unshown = {});

 private slots:
  void OnActionInvoked(uint id, const QString& actionKey);
  void OnClosed(uint id, uint reason);

 private:
  QDBusConnection bus_;
  std::map<uint32_t, std::function<void()>> actions_;  // notes shown with an action, by number
};

}  // namespace zav
