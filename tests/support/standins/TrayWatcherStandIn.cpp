// zav_test_tray_watcher: a stand-in for the desktop's tray on a test's session bus: the
// org.kde.StatusNotifierWatcher that items register with (a host is said to be there), and
// the host's side of the StatusNotifierItem and DBusMenu protocols, which the test drives
// through org.zav.TestTray on /StatusNotifierWatcher:
//   Items() -> as             the registered items (their bus names)
//   ToolTipTitle() -> s       the tip of the last registered item
//   HasIcon() -> b            whether it gives an icon (a name or pictures)
//   Activate() -> b           a left click on it (the item's Activate)
//   MenuLabels() -> as        the labels of its menu's entries, in order
//   ClickMenu(s label) -> b   a click on the menu entry with that label
// Prints "ready" once it owns org.kde.StatusNotifierWatcher.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QStringList>

#include <cstdio>
#include <utility>
#include <vector>

namespace {

const QString kService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString kControl = QStringLiteral("org.zav.TestTray");
constexpr int kCallTimeoutMs = 10000;

// An entry of a DBusMenu layout: (i id, a{sv} properties, av children).
void ReadLayout(const QDBusArgument& item, std::vector<std::pair<int, QString>>* entries) {
  item.beginStructure();
  int id = 0;
  QVariantMap properties;
  item >> id >> properties;
  if (id != 0 && properties.value(QStringLiteral("type")).toString() != QLatin1String("separator") &&
      properties.value(QStringLiteral("visible"), true).toBool()) {
    entries->emplace_back(id, properties.value(QStringLiteral("label")).toString());
  }
  item.beginArray();
  while (!item.atEnd()) {
    QDBusVariant child;
    item >> child;
    ReadLayout(child.variant().value<QDBusArgument>(), entries);
  }
  item.endArray();
  item.endStructure();
}

class Watcher final : public QDBusVirtualObject {
 public:
  explicit Watcher(QDBusConnection bus) : bus_(std::move(bus)) {
    gone_.setConnection(bus_);
    gone_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&gone_, &QDBusServiceWatcher::serviceUnregistered, [this](const QString& service) {
      items_.removeAll(service);
      gone_.removeWatchedService(service);
      QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, QStringLiteral("StatusNotifierItemUnregistered"));
      signal << service;
      bus_.send(signal);
    });
  }

  QString introspect(const QString& path) const override {
    if (path != kPath) return {};
    return QStringLiteral(
        "<interface name=\"org.kde.StatusNotifierWatcher\">"
        "<method name=\"RegisterStatusNotifierItem\"><arg name=\"service\" type=\"s\" direction=\"in\"/></method>"
        "<method name=\"RegisterStatusNotifierHost\"><arg name=\"service\" type=\"s\" direction=\"in\"/></method>"
        "<property name=\"RegisteredStatusNotifierItems\" type=\"as\" access=\"read\"/>"
        "<property name=\"IsStatusNotifierHostRegistered\" type=\"b\" access=\"read\"/>"
        "<property name=\"ProtocolVersion\" type=\"i\" access=\"read\"/>"
        "<signal name=\"StatusNotifierItemRegistered\"><arg type=\"s\"/></signal>"
        "<signal name=\"StatusNotifierItemUnregistered\"><arg type=\"s\"/></signal>"
        "<signal name=\"StatusNotifierHostRegistered\"/>"
        "</interface>");
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
    if (message.path() != kPath) return false;
    const QString interface = message.interface();
    const QString member = message.member();
    const QVariantList args = message.arguments();
    if (interface == QLatin1String("org.freedesktop.DBus.Properties")) {
      if (member == QLatin1String("Get") && args.value(0).toString() == kService) {
        const QVariant value = Property(args.value(1).toString());
        if (value.isValid()) {
          bus_.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
        } else {
          bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"), QString()));
        }
        return true;
      }
      if (member == QLatin1String("GetAll")) {
        QVariantMap all;
        for (const char* name : {"RegisteredStatusNotifierItems", "IsStatusNotifierHostRegistered", "ProtocolVersion"}) {
          all.insert(QLatin1String(name), Property(QLatin1String(name)));
        }
        bus_.send(message.createReply(all));
        return true;
      }
      return false;
    }
    if (interface == kService) {
      if (member == QLatin1String("RegisterStatusNotifierItem")) {
        // A bus name, or an object path on the caller's connection.
        QString item = args.value(0).toString();
        if (item.startsWith(QLatin1Char('/'))) item = message.service();
        if (!items_.contains(item)) items_ << item;
        gone_.addWatchedService(item);
        bus_.send(message.createReply());
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, QStringLiteral("StatusNotifierItemRegistered"));
        signal << item;
        bus_.send(signal);
        return true;
      }
      if (member == QLatin1String("RegisterStatusNotifierHost")) {
        bus_.send(message.createReply());
        return true;
      }
      return false;
    }
    if (interface == kControl) {
      bus_.send(Control(message, member, args));
      return true;
    }
    return false;
  }

 private:
  QVariant Property(const QString& name) const {
    if (name == QLatin1String("RegisteredStatusNotifierItems")) return items_;
    if (name == QLatin1String("IsStatusNotifierHostRegistered")) return true;
    if (name == QLatin1String("ProtocolVersion")) return 0;
    return {};
  }

  QDBusMessage Control(const QDBusMessage& message, const QString& member, const QVariantList& args) {
    if (member == QLatin1String("Items")) return message.createReply(items_);
    if (items_.isEmpty()) return message.createErrorReply(QStringLiteral("org.zav.TestTray.NoItem"), QStringLiteral("no item registered"));
    if (member == QLatin1String("ToolTipTitle")) return message.createReply(ToolTipTitle());
    if (member == QLatin1String("HasIcon")) return message.createReply(HasIcon());
    if (member == QLatin1String("Activate")) {
      const QDBusMessage reply = CallItem(kItemInterface, QStringLiteral("Activate"), {0, 0});
      return message.createReply(reply.type() == QDBusMessage::ReplyMessage);
    }
    if (member == QLatin1String("MenuLabels")) {
      QStringList labels;
      for (const auto& [id, label] : MenuEntries()) labels << label;
      return message.createReply(labels);
    }
    if (member == QLatin1String("ClickMenu")) {
      const QString wanted = args.value(0).toString();
      for (const auto& [id, label] : MenuEntries()) {
        if (label != wanted) continue;
        const QDBusMessage reply =
            CallMenu(QStringLiteral("Event"), {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)),
                                               static_cast<uint>(QDateTime::currentSecsSinceEpoch())});
        return message.createReply(reply.type() == QDBusMessage::ReplyMessage);
      }
      return message.createReply(false);
    }
    return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), member);
  }

  QDBusMessage CallItem(const QString& interface, const QString& method, const QVariantList& args) const {
    QDBusMessage call = QDBusMessage::createMethodCall(items_.last(), QStringLiteral("/StatusNotifierItem"), interface, method);
    call.setArguments(args);
    return bus_.call(call, QDBus::Block, kCallTimeoutMs);
  }

  QVariant ItemProperty(const QString& name) const {
    const QDBusMessage reply =
        CallItem(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {kItemInterface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().at(0).value<QDBusVariant>().variant();
  }

  // The tip's title: ToolTip is (s icon name, a(iiay) pictures, s title, s text).
  QString ToolTipTitle() const {
    const QVariant tip = ItemProperty(QStringLiteral("ToolTip"));
    if (!tip.canConvert<QDBusArgument>()) return {};
    const QDBusArgument argument = tip.value<QDBusArgument>();
    QString iconName;
    QString title;
    argument.beginStructure();
    argument >> iconName;
    argument.beginArray();
    while (!argument.atEnd()) {
      int width = 0;
      int height = 0;
      QByteArray pixels;
      argument.beginStructure();
      argument >> width >> height >> pixels;
      argument.endStructure();
    }
    argument.endArray();
    argument >> title;
    argument.endStructure();
    return title;
  }

  bool HasIcon() const {
    if (!ItemProperty(QStringLiteral("IconName")).toString().isEmpty()) return true;
    const QVariant pictures = ItemProperty(QStringLiteral("IconPixmap"));
    if (!pictures.canConvert<QDBusArgument>()) return false;
    const QDBusArgument argument = pictures.value<QDBusArgument>();
    bool any = false;
    argument.beginArray();
    while (!argument.atEnd()) {
      int width = 0;
      int height = 0;
      QByteArray pixels;
      argument.beginStructure();
      argument >> width >> height >> pixels;
      argument.endStructure();
      any = any || (width > 0 && height > 0 && pixels.size() == width * height * 4);
    }
    argument.endArray();
    return any;
  }

  QDBusMessage CallMenu(const QString& method, const QVariantList& args) const {
    const QString menuPath = ItemProperty(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    QDBusMessage call = QDBusMessage::createMethodCall(items_.last(), menuPath.isEmpty() ? QStringLiteral("/") : menuPath,
                                                       kMenuInterface, method);
    call.setArguments(args);
    return bus_.call(call, QDBus::Block, kCallTimeoutMs);
  }

  std::vector<std::pair<int, QString>> MenuEntries() const {
    std::vector<std::pair<int, QString>> entries;
    const QDBusMessage layout = CallMenu(QStringLiteral("GetLayout"), {0, -1, QStringList()});
    if (layout.type() != QDBusMessage::ReplyMessage || layout.arguments().size() < 2) return entries;
    ReadLayout(layout.arguments().at(1).value<QDBusArgument>(), &entries);
    return entries;
  }

  QDBusConnection bus_;
  QDBusServiceWatcher gone_;
  QStringList items_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  Watcher watcher(bus);
  if (!bus.registerVirtualObject(kPath, &watcher) || !bus.registerService(kService)) {
    std::fprintf(stderr, "zav_test_tray_watcher: cannot serve %s on the bus: %s\n", qPrintable(kService),
                 qPrintable(bus.lastError().message()));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return QCoreApplication::exec();
}
