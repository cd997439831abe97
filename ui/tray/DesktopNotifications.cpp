#include "DesktopNotifications.h"

#include <glog/logging.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "dui/Texts.h"

namespace zav {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kAppName = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "ZAV电脑录音软件"));
// The icon and desktop entry the package installs.
const QString kAppId = QStringLiteral("zav-audio-recorder");
const QString kActionKey = QStringLiteral("default");  // also what a click on the note itself picks
constexpr uchar kUrgencyNormal = 1;
constexpr uchar kUrgencyCritical = 2;
constexpr int kExpireAsTheDesktopChooses = -1;

}  // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus) : bus_(std::move(bus)) {
  if (!bus_.isConnected()) return;
  bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
               SLOT(OnActionInvoked(uint, QString)));
  bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(OnClosed(uint, uint)));
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::Show(Note note, std::function<void(uint32_t)> shown, std::function<void()> unshown) {
  if (!bus_.isConnected()) {
    if (unshown) unshown();
    return;
  }
  QStringList actions;
  if (!note.actionLabel.isEmpty()) actions << kActionKey << note.actionLabel;
  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue(note.urgent ? kUrgencyCritical : kUrgencyNormal));
  hints.insert(QStringLiteral("desktop-entry"), kAppId);
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  call << Tr(kAppName) << static_cast<uint>(note.replaces) << kAppId << note.summary << note.body << actions << hints
       << kExpireAsTheDesktopChooses;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, action = std::move(note.onAction), withAction = !actions.isEmpty(), shown = std::move(shown),
           unshown = std::move(unshown)](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusPendingReply<uint> reply = *call;
            if (reply.isError()) {
              LOG(WARNING) << "notifications: the desktop showed none (" << reply.error().name().toStdString() << ": "
                           << reply.error().message().toStdString() << ")";
              if (unshown) unshown();
              return;
            }
            const uint32_t id = reply.value();
            if (withAction && action) actions_[id] = action;
            if (shown) shown(id);
          });
}

void DesktopNotifications::OnActionInvoked(uint id, const QString& actionKey) {
  const auto it = actions_.find(id);
  if (it == actions_.end() || actionKey != kActionKey) return;
  const std::function<void()> action = it->second;
  action();
}

void DesktopNotifications::OnClosed(uint id, uint) { actions_.erase(id); }

}  // namespace zav
