// zav_test_notifications: a stand-in for the desktop's notification service on a test's session
// bus (org.freedesktop.Notifications), answering as a notification daemon does: Notify returns
// the note's number (the one it replaces, when given), and a picked action comes as
// ActionInvoked followed by NotificationClosed, sent to the program that showed the note.
//
// The test reads and drives it through org.zav.TestNotifications on the same object:
//   Notes() -> as            every note so far: "number\tsummary\tbody\taction keys and labels, by ','"
//   Invoke(u number) -> b    the user picks the note's first action
// Prints "ready" once it owns org.freedesktop.Notifications.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>

#include <cstdio>
#include <map>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kControl = QStringLiteral("org.zav.TestNotifications");
constexpr uint kClosedByTheUser = 2;

class Notifications final : public QDBusVirtualObject {
 public:
  explicit Notifications(QDBusConnection bus) : bus_(std::move(bus)) {}

  QString introspect(const QString& path) const override {
    if (path != kPath) return {};
    return QStringLiteral(
        "<interface name=\"org.freedesktop.Notifications\">"
        "<method name=\"Notify\"><arg type=\"s\" direction=\"in\"/><arg type=\"u\" direction=\"in\"/>"
        "<arg type=\"s\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
        "<arg type=\"as\" direction=\"in\"/><arg type=\"a{sv}\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/>"
        "<arg type=\"u\" direction=\"out\"/></method>"
        "<method name=\"GetCapabilities\"><arg type=\"as\" direction=\"out\"/></method>"
        "<method name=\"CloseNotification\"><arg type=\"u\" direction=\"in\"/></method>"
        "<signal name=\"ActionInvoked\"><arg type=\"u\"/><arg type=\"s\"/></signal>"
        "<signal name=\"NotificationClosed\"><arg type=\"u\"/><arg type=\"u\"/></signal>"
        "</interface>"
        "<interface name=\"org.zav.TestNotifications\">"
        "<method name=\"Notes\"><arg type=\"as\" direction=\"out\"/></method>"
        "<method name=\"Invoke\"><arg type=\"u\" direction=\"in\"/><arg type=\"b\" direction=\"out\"/></method>"
        "</interface>");
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
    if (message.path() != kPath) return false;
    const QString member = message.member();
    const QVariantList args = message.arguments();
    if (message.interface() == kService) {
      if (member == QLatin1String("Notify")) {
        uint id = args.value(1).toUInt();
        if (id == 0) id = ++lastId_;
        const QStringList actions = args.value(5).toStringList();
        notes_ << QStringLiteral("%1\t%2\t%3\t%4")
                      .arg(id)
                      .arg(args.value(3).toString(), args.value(4).toString(), actions.join(QLatin1Char(',')));
        if (!actions.isEmpty()) actionOf_[id] = {message.service(), actions.value(0)};
        bus_.send(message.createReply(id));
        return true;
      }
      if (member == QLatin1String("GetCapabilities")) {
        bus_.send(message.createReply(QStringList{QStringLiteral("actions"), QStringLiteral("body")}));
        return true;
      }
      if (member == QLatin1String("CloseNotification")) {
        bus_.send(message.createReply());
        return true;
      }
      return false;
    }
    if (message.interface() == kControl) {
      if (member == QLatin1String("Notes")) {
        bus_.send(message.createReply(notes_));
        return true;
      }
      if (member == QLatin1String("Invoke")) {
        const uint id = args.value(0).toUInt();
        const auto it = actionOf_.find(id);
        bus_.send(message.createReply(it != actionOf_.end()));
        if (it != actionOf_.end()) {
          QDBusMessage invoked = QDBusMessage::createTargetedSignal(it->second.owner, kPath, kService,
                                                                     QStringLiteral("ActionInvoked"));
          invoked << id << it->second.key;
          bus_.send(invoked);
          QDBusMessage closed = QDBusMessage::createTargetedSignal(it->second.owner, kPath, kService,
                                                                    QStringLiteral("NotificationClosed"));
          closed << id << kClosedByTheUser;
          bus_.send(closed);
          actionOf_.erase(it);
        }
        return true;
      }
    }
    return false;
  }

 private:
  struct Action {
    QString owner;  // who showed the note
    QString key;
  };
  QDBusConnection bus_;
  QStringList notes_;
  std::map<uint, Action> actionOf_;
  uint lastId_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  Notifications notifications(bus);
  if (!bus.registerVirtualObject(kPath, &notifications) || !bus.registerService(kService)) {
    std::fprintf(stderr, "zav_test_notifications: cannot serve %s on the bus: %s\n", qPrintable(kService),
                 qPrintable(bus.lastError().message()));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return QCoreApplication::exec();
}
