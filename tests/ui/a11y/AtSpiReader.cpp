#include "AtSpiReader.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QThread>

namespace zav::test {
namespace {

constexpr int kCallTimeoutMs = 5000;
constexpr int kPollMs = 20;
const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString kRegistry = QStringLiteral("org.a11y.atspi.Registry");
const QString kRootPath = QStringLiteral("/org/a11y/atspi/accessible/root");

// Unique connection names: a test may make several readers one after the other.
QString NextConnectionName(const char* what) {
  static int count = 0;
  return QStringLiteral("zav-test-%1-%2").arg(QLatin1String(what)).arg(++count);
}

std::vector<AtSpiObject> ReadObjects(const QDBusArgument& argument) {
  std::vector<AtSpiObject> objects;
  argument.beginArray();
  while (!argument.atEnd()) {
    QString service;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> service >> path;
    argument.endStructure();
    objects.push_back({service, path.path()});
  }
  argument.endArray();
  return objects;
}

void Pause() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
  QThread::msleep(kPollMs);
}

}  // namespace

AtSpiReader::AtSpiReader(const QString& sessionBusAddress, int timeoutMs)
    : sessionName_(NextConnectionName("session")) {
  QDBusConnection session = QDBusConnection::connectToBus(sessionBusAddress, sessionName_);
  if (!session.isConnected()) {
    error_ = QStringLiteral("cannot connect to the session bus: ") + session.lastError().message();
    return;
  }
  // The launcher takes its name once the accessibility bus runs.
  const QDeadlineTimer deadline(timeoutMs);
  QString address;
  while (address.isEmpty()) {
    const QDBusMessage reply = session.call(
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
        QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      address = reply.arguments().at(0).toString();
      break;
    }
    if (deadline.hasExpired()) {
      error_ = QStringLiteral("no accessibility bus: ") + reply.errorMessage();
      return;
    }
    Pause();
  }
  busName_ = NextConnectionName("a11y");
  QDBusConnection bus = QDBusConnection::connectToBus(address, busName_);
  if (!bus.isConnected()) {
    error_ = QStringLiteral("cannot connect to the accessibility bus: ") + bus.lastError().message();
    return;
  }
  if (!bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("StateChanged"),
                   this, SLOT(OnStateChanged(QDBusMessage)))) {
    error_ = QStringLiteral("cannot listen to state changes: ") + bus.lastError().message();
    return;
  }
  // Applications announce only the events somebody asked the registry for.
  const QDBusMessage registered = bus.call(
      QDBusMessage::createMethodCall(kRegistry, QStringLiteral("/org/a11y/atspi/registry"), kRegistry,
                                     QStringLiteral("RegisterEvent"))
          << QStringLiteral("object:state-changed:focused") << QStringList() << QString(),
      QDBus::Block, kCallTimeoutMs);
  if (registered.type() == QDBusMessage::ErrorMessage) {
    error_ = QStringLiteral("the registry does not take listeners: ") + registered.errorMessage();
    return;
  }
  ok_ = true;
}

AtSpiReader::~AtSpiReader() {
  QDBusConnection::disconnectFromBus(busName_);
  QDBusConnection::disconnectFromBus(sessionName_);
}

std::optional<AtSpiObject> AtSpiReader::Application(const QString& name, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  do {
    for (const AtSpiObject& application : Children({kRegistry, kRootPath})) {
      if (Name(application) == name) return application;
    }
    Pause();
  } while (!deadline.hasExpired());
  return std::nullopt;
}

QDBusMessage AtSpiReader::Call(const AtSpiObject& object, const QString& interface, const QString& method,
                               const QVariantList& arguments) {
  QDBusMessage call = QDBusMessage::createMethodCall(object.service, object.path, interface, method);
  call.setArguments(arguments);
  return QDBusConnection(busName_).call(call, QDBus::Block, kCallTimeoutMs);
}

QVariant AtSpiReader::Property(const AtSpiObject& object, const QString& interface, const QString& name) {
  const QDBusMessage reply = Call(object, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                  {interface, name});
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return reply.arguments().at(0).value<QDBusVariant>().variant();
}

QString AtSpiReader::Name(const AtSpiObject& object) {
  return Property(object, kAccessible, QStringLiteral("Name")).toString();
}

QString AtSpiReader::Description(const AtSpiObject& object) {
  return Property(object, kAccessible, QStringLiteral("Description")).toString();
}

QString AtSpiReader::Role(const AtSpiObject& object) {
  const QDBusMessage reply = Call(object, kAccessible, QStringLiteral("GetRoleName"));
  return reply.arguments().isEmpty() ? QString() : reply.arguments().at(0).toString();
}

std::vector<AtSpiObject> AtSpiReader::Children(const AtSpiObject& object) {
  const QDBusMessage reply = Call(object, kAccessible, QStringLiteral("GetChildren"));
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return ReadObjects(reply.arguments().at(0).value<QDBusArgument>());
}

AtSpiObject AtSpiReader::Parent(const AtSpiObject& object) {
  const QVariant parent = Property(object, kAccessible, QStringLiteral("Parent"));
  if (!parent.canConvert<QDBusArgument>()) return {};
  const QDBusArgument reference = parent.value<QDBusArgument>();
  QString service;
  QDBusObjectPath path;
  reference.beginStructure();
  reference >> service >> path;
  reference.endStructure();
  return {service, path.path()};
}

bool AtSpiReader::HasState(const AtSpiObject& object, AtSpiState state) {
  const QDBusMessage reply = Call(object, kAccessible, QStringLiteral("GetState"));
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
  const auto words = qdbus_cast<QList<uint>>(reply.arguments().at(0));
  const unsigned word = state / 32;
  return word < static_cast<unsigned>(words.size()) && (words[word] >> (state % 32)) & 1U;
}

std::vector<AtSpiObject> AtSpiReader::Related(const AtSpiObject& object, AtSpiRelation relation) {
  const QDBusMessage reply = Call(object, kAccessible, QStringLiteral("GetRelationSet"));
  std::vector<AtSpiObject> related;
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return related;
  const QDBusArgument set = reply.arguments().at(0).value<QDBusArgument>();
  set.beginArray();
  while (!set.atEnd()) {
    uint type = 0;
    set.beginStructure();
    set >> type;
    const std::vector<AtSpiObject> targets = ReadObjects(set);
    set.endStructure();
    if (type == relation) related.insert(related.end(), targets.begin(), targets.end());
  }
  set.endArray();
  return related;
}

QStringList AtSpiReader::KeyBindings(const AtSpiObject& object) {
  const QDBusMessage reply = Call(object, QStringLiteral("org.a11y.atspi.Action"), QStringLiteral("GetActions"));
  QStringList bindings;
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return bindings;
  const QDBusArgument actions = reply.arguments().at(0).value<QDBusArgument>();
  actions.beginArray();
  while (!actions.atEnd()) {
    QString name, description, keys;
    actions.beginStructure();
    actions >> name >> description >> keys;
    actions.endStructure();
    if (!keys.isEmpty()) bindings << keys;
  }
  actions.endArray();
  return bindings;
}

std::vector<AtSpiNode> AtSpiReader::Tree(const AtSpiObject& root) {
  std::vector<AtSpiNode> nodes;
  std::vector<AtSpiNode> pending{{root, {}, {}, 0}};
  while (!pending.empty()) {
    AtSpiNode node = pending.back();
    pending.pop_back();
    node.role = Role(node.object);
    node.name = Name(node.object);
    const std::vector<AtSpiObject> children = Children(node.object);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back({*it, {}, {}, node.depth + 1});
    nodes.push_back(std::move(node));
  }
  return nodes;
}

std::optional<AtSpiObject> AtSpiReader::Find(const AtSpiObject& root, const QString& role, const QString& name) {
  for (const AtSpiNode& node : Tree(root)) {
    if (node.role == role && node.name == name) return node.object;
  }
  return std::nullopt;
}

QString AtSpiReader::FocusedText() {
  if (focused_.path.isEmpty()) return QStringLiteral("<nothing>");
  return Role(focused_) + QLatin1Char(' ') + Name(focused_);
}

void AtSpiReader::OnStateChanged(const QDBusMessage& message) {
  const QVariantList arguments = message.arguments();
  // (detail, gained, ...): "focused", 1 when the object got it.
  if (arguments.size() < 2 || arguments.at(0).toString() != QLatin1String("focused") || arguments.at(1).toInt() != 1) {
    return;
  }
  focused_ = {message.service(), message.path()};
}

}  // namespace zav::test
