// zav_test_portal: a stand-in for the desktop portal on a test's session bus, with the part of
// org.freedesktop.portal.GlobalShortcuts that the program uses, answered as the portal does:
// each call returns a request path (…/request/<sender>/<handle_token>) and answers later with
// that request's Response signal; a session is an object (…/session/<sender>/<token>) that
// Close ends.
//
//   zav_test_portal                      binds every shortcut asked for
//   zav_test_portal --refuse             the user says no to BindShortcuts (response 1)
//   zav_test_portal --without-shortcuts  the portal, without the GlobalShortcuts interface
//
// The test drives it through org.zav.TestPortal on the same object:
//   Activate(s id) -> b    a press of the shortcut id of the open session, as the desktop's
//                          portal sends it: Activated and Deactivated at once, to the session's
//                          owner only
//   Bound() -> as          "id=preferred trigger" of the last BindShortcuts
//   Calls() -> as          the GlobalShortcuts and Session methods called so far, in order
// Prints "ready" once it owns org.freedesktop.portal.Desktop.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QStringList>

#include <cstdio>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kControl = QStringLiteral("org.zav.TestPortal");

struct Shortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

}  // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

QString SenderElement(const QString& sender) {
  QString element = sender.startsWith(QLatin1Char(':')) ? sender.mid(1) : sender;
  return element.replace(QLatin1Char('.'), QLatin1Char('_'));
}

class Portal final : public QDBusVirtualObject {
 public:
  Portal(QDBusConnection bus, bool refuse, bool withShortcuts)
      : bus_(std::move(bus)), refuse_(refuse), withShortcuts_(withShortcuts) {}

  QString introspect(const QString& path) const override {
    if (path != kPath) return {};
    QString xml = QStringLiteral(
        "<interface name=\"org.zav.TestPortal\">"
        "<method name=\"Activate\"><arg type=\"s\" direction=\"in\"/><arg type=\"b\" direction=\"out\"/></method>"
        "<method name=\"Bound\"><arg type=\"as\" direction=\"out\"/></method>"
        "<method name=\"Calls\"><arg type=\"as\" direction=\"out\"/></method>"
        "</interface>");
    if (withShortcuts_) {
      xml += QStringLiteral(
          "<interface name=\"org.freedesktop.portal.GlobalShortcuts\">"
          "<method name=\"CreateSession\"><arg type=\"a{sv}\" direction=\"in\"/><arg type=\"o\" direction=\"out\"/></method>"
          "<method name=\"BindShortcuts\"><arg type=\"o\" direction=\"in\"/><arg type=\"a(sa{sv})\" direction=\"in\"/>"
          "<arg type=\"s\" direction=\"in\"/><arg type=\"a{sv}\" direction=\"in\"/><arg type=\"o\" direction=\"out\"/></method>"
          "<signal name=\"Activated\"><arg type=\"o\"/><arg type=\"s\"/><arg type=\"t\"/><arg type=\"a{sv}\"/></signal>"
          "<signal name=\"Deactivated\"><arg type=\"o\"/><arg type=\"s\"/><arg type=\"t\"/><arg type=\"a{sv}\"/></signal>"
          "<property name=\"version\" type=\"u\" access=\"read\"/>"
          "</interface>");
    }
    return xml;
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
    const QString interface = message.interface();
    const QString member = message.member();
    if (message.path().startsWith(kPath + QStringLiteral("/session/"))) {
      if (interface == QLatin1String("org.freedesktop.portal.Session") && member == QLatin1String("Close")) {
        calls_ << QStringLiteral("Close");
        if (message.path() == session_) session_.clear();
        bus_.send(message.createReply());
        return true;
      }
      return false;
    }
    if (message.path() != kPath) return false;
    if (interface == QLatin1String("org.freedesktop.DBus.Properties") && member == QLatin1String("Get")) {
      const QVariantList args = message.arguments();
      if (withShortcuts_ && args.value(0).toString() == kShortcuts && args.value(1).toString() == QLatin1String("version")) {
        bus_.send(message.createReply(QVariant::fromValue(QDBusVariant(QVariant(1u)))));
      } else {
        bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                                           QStringLiteral("no such interface here")));
      }
      return true;
    }
    if (interface == kShortcuts && withShortcuts_) {
      if (member == QLatin1String("CreateSession")) return CreateSession(message);
      if (member == QLatin1String("BindShortcuts")) return BindShortcuts(message);
      return false;
    }
    if (interface == kControl) {
      if (member == QLatin1String("Activate")) {
        const QString id = message.arguments().value(0).toString();
        const bool known = !session_.isEmpty() && boundIds_.contains(id);
        bus_.send(message.createReply(known));
        if (known) {
          const auto pressedAt = static_cast<qulonglong>(QDateTime::currentMSecsSinceEpoch());
          for (const char* name : {"Activated", "Deactivated"}) {
            QDBusMessage signal =
                QDBusMessage::createTargetedSignal(sessionOwner_, kPath, kShortcuts, QString::fromLatin1(name));
            signal << QVariant::fromValue(QDBusObjectPath(session_)) << id << pressedAt << QVariantMap();
            bus_.send(signal);
          }
        }
        return true;
      }
      if (member == QLatin1String("Bound")) {
        bus_.send(message.createReply(bound_));
        return true;
      }
      if (member == QLatin1String("Calls")) {
        bus_.send(message.createReply(calls_));
        return true;
      }
    }
    return false;
  }

 private:
  // The request's path, as the caller could foresee it from its handle_token.
  QString RequestPath(const QDBusMessage& message, const QVariantMap& options) const {
    return kPath + QStringLiteral("/request/") + SenderElement(message.service()) + QLatin1Char('/') +
           options.value(QStringLiteral("handle_token"), QStringLiteral("t%1").arg(++tokens_)).toString();
  }

  // The call's answer first, then the request's Response, as the portal sends them.
  void Answer(const QDBusMessage& message, const QString& requestPath, uint response, const QVariantMap& results) {
    bus_.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
    QDBusMessage signal = QDBusMessage::createSignal(requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                                                     QStringLiteral("Response"));
    signal << response << results;
    bus_.send(signal);
  }

  bool CreateSession(const QDBusMessage& message) {
    calls_ << QStringLiteral("CreateSession");
    const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().value(0));
    session_ = kPath + QStringLiteral("/session/") + SenderElement(message.service()) + QLatin1Char('/') +
               options.value(QStringLiteral("session_handle_token"), QStringLiteral("s%1").arg(++tokens_)).toString();
    boundIds_.clear();
    sessionOwner_ = message.service();
    // xdg-desktop-portal names the session in a string.
    Answer(message, RequestPath(message, options), 0, {{QStringLiteral("session_handle"), session_}});
    return true;
  }

  bool BindShortcuts(const QDBusMessage& message) {
    calls_ << QStringLiteral("BindShortcuts");
    const QVariantList args = message.arguments();
    const QString session = qdbus_cast<QDBusObjectPath>(args.value(0)).path();
    const QList<Shortcut> asked = qdbus_cast<QList<Shortcut>>(args.value(1));
    const QVariantMap options = qdbus_cast<QVariantMap>(args.value(3));
    const QString requestPath = RequestPath(message, options);
    bound_.clear();
    for (const Shortcut& shortcut : asked) {
      bound_ << shortcut.id + QLatin1Char('=') + shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
    }
    if (refuse_ || session != session_) {
      Answer(message, requestPath, refuse_ ? 1 : 2, {});
      return true;
    }
    QList<Shortcut> given;
    for (const Shortcut& shortcut : asked) {
      boundIds_ << shortcut.id;
      given.push_back({shortcut.id,
                       {{QStringLiteral("description"), shortcut.properties.value(QStringLiteral("description"))},
                        {QStringLiteral("trigger_description"),
                         shortcut.properties.value(QStringLiteral("preferred_trigger"))}}});
    }
    Answer(message, requestPath, 0, {{QStringLiteral("shortcuts"), QVariant::fromValue(given)}});
    return true;
  }

  QDBusConnection bus_;
  const bool refuse_;
  const bool withShortcuts_;
  QString session_;
  QString sessionOwner_;
  QStringList boundIds_;
  QStringList bound_;
  QStringList calls_;
  mutable int tokens_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qDBusRegisterMetaType<Shortcut>();
  qDBusRegisterMetaType<QList<Shortcut>>();
  const QStringList args = QCoreApplication::arguments();
  QDBusConnection bus = QDBusConnection::sessionBus();
  Portal portal(bus, args.contains(QStringLiteral("--refuse")), !args.contains(QStringLiteral("--without-shortcuts")));
  if (!bus.registerVirtualObject(kPath, &portal, QDBusConnection::SubPath) || !bus.registerService(kService)) {
    std::fprintf(stderr, "zav_test_portal: cannot serve %s on the bus: %s\n", qPrintable(kService),
                 qPrintable(bus.lastError().message()));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return QCoreApplication::exec();
}
