#include "PortalGlobalHotkeys.h"

#include <glog/logging.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QList>

#include <algorithm>
#include <utility>

namespace zav {

// One element of BindShortcuts' list: the shortcut's name and its properties, D-Bus type (sa{sv}).
struct PortalShortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

}  // namespace zav

Q_DECLARE_METATYPE(zav::PortalShortcut)

namespace zav {
namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// Response codes of a portal request.
constexpr uint kResponseSuccess = 0;
constexpr uint kResponseCancelled = 1;  // the user said no

void RegisterTypes() {
  static const bool registered = [] {
    // Signals are connected by the slot's text, whose parameter types Qt looks up by name: a
    // type not registered under its name yet makes the connection fail. QDBusObjectPath is
    // registered so only once something else has used it (Qt's tray icon does, where a tray
    // watcher runs), so without a tray every press was dropped.
    qRegisterMetaType<QDBusObjectPath>("QDBusObjectPath");
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    return true;
  }();
  (void)registered;
}

// The sender part of a request path: the unique name without ':' and with '_' for '.'.
QString SenderPathElement(const QString& uniqueName) {
  QString element = uniqueName.startsWith(QLatin1Char(':')) ? uniqueName.mid(1) : uniqueName;
  element.replace(QLatin1Char('.'), QLatin1Char('_'));
  return element;
}

// The names of the shortcuts a BindShortcuts answer lists (a(sa{sv}) inside a variant).
std::vector<QString> ShortcutNames(const QVariant& shortcuts) {
  std::vector<QString> names;
  if (!shortcuts.canConvert<QDBusArgument>()) return names;
  const QDBusArgument list = shortcuts.value<QDBusArgument>();
  list.beginArray();
  while (!list.atEnd()) {
    PortalShortcut shortcut;
    list >> shortcut;
    names.push_back(shortcut.id);
  }
  list.endArray();
  return names;
}

QString SessionPathOf(const QVariant& handle) {
  // Portals have answered with an object path or with its text.
  if (handle.userType() == qMetaTypeId<QDBusObjectPath>()) return handle.value<QDBusObjectPath>().path();
  return handle.toString();
}

}  // namespace

std::string PortalTrigger(HotkeyCombo combo) {
  if (!IsValidHotkeyCombo(combo)) return {};
  std::string trigger;
  if (combo.modifiers & kHotkeyCtrl) trigger += "CTRL+";
  if (combo.modifiers & kHotkeyAlt) trigger += "ALT+";
  if (combo.modifiers & kHotkeyShift) trigger += "SHIFT+";
  if (combo.modifiers & kHotkeyWin) trigger += "LOGO+";
  return trigger + "F" + std::to_string(combo.virtualKey - kVirtualKeyF1 + 1);
}

PortalGlobalHotkeys::PortalGlobalHotkeys(QDBusConnection bus) : bus_(std::move(bus)) {
  RegisterTypes();
  if (!bus_.isConnected()) {
    MarkUnsupported("no session bus to reach the desktop portal");
    return;
  }
  if (!bus_.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"), this,
                    SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)))) {
    MarkUnsupported("cannot listen for the desktop portal's shortcut presses");
    return;
  }
  portalWatcher_ = new QDBusServiceWatcher(kPortalService, bus_, QDBusServiceWatcher::WatchForUnregistration, this);
  connect(portalWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
    if (probe_ != Probe::kReady) return;
    // Its sessions went with it.
    session_.clear();
    bound_.clear();
    held_.clear();
    MarkUnsupported("the desktop portal left the session bus");
    if (step_ != Step::kIdle) Finish({});
  });

  QDBusMessage ask = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  ask << kShortcutsInterface << QStringLiteral("version");
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    OnProbeAnswer(call);
  });
}

PortalGlobalHotkeys::~PortalGlobalHotkeys() {
  StopListening();
  CloseSession();
}

void PortalGlobalHotkeys::OnProbeAnswer(QDBusPendingCallWatcher* call) {
  const QDBusPendingReply<QDBusVariant> reply = *call;
  if (reply.isError()) {
    const QDBusError error = reply.error();
    const std::string detail = " (" + error.name().toStdString() + ": " + error.message().toStdString() + ")";
    const QDBusError::ErrorType type = error.type();
    if (type == QDBusError::ServiceUnknown || error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
      MarkUnsupported("no desktop portal on the session bus" + detail);
    } else if (type == QDBusError::UnknownInterface || type == QDBusError::UnknownProperty ||
               type == QDBusError::InvalidArgs || type == QDBusError::UnknownMethod) {
      MarkUnsupported("the desktop portal has no GlobalShortcuts interface" + detail);
    } else {
      MarkUnsupported("the desktop portal did not say whether it has global shortcuts" + detail);
    }
  } else {
    probe_ = Probe::kReady;
    LOG(INFO) << "hotkeys: through the desktop portal's global shortcuts, version "
              << reply.value().variant().toUInt();
  }
  if (requestWaiting_) {
    requestWaiting_ = false;
    StartBind();
  }
}

void PortalGlobalHotkeys::Bind(std::vector<HotkeyBinding> bindings, BoundHandler done) {
  wanted_ = std::move(bindings);
  done_ = std::move(done);
  if (probe_ == Probe::kAsking) {
    requestWaiting_ = true;
    return;
  }
  StartBind();
}

void PortalGlobalHotkeys::StartBind() {
  if (probe_ == Probe::kUnsupported) {
    Finish({});
    return;
  }
  if (wanted_ == bound_ && (!session_.isEmpty() || bound_.empty())) {
    Finish(held_);
    return;
  }
  CloseSession();
  if (wanted_.empty()) {
    Finish({});
    return;
  }
  step_ = Step::kCreatingSession;
  QVariantMap options;
  options.insert(QStringLiteral("session_handle_token"), NextToken());
  Request(QStringLiteral("CreateSession"), {}, std::move(options));
}

void PortalGlobalHotkeys::AskBindShortcuts() {
  step_ = Step::kBinding;
  QList<PortalShortcut> shortcuts;
  for (const HotkeyBinding& binding : wanted_) {
    QVariantMap properties;
    properties.insert(QStringLiteral("description"), QString::fromStdString(binding.description));
    const std::string trigger = PortalTrigger(binding.combo);
    if (!trigger.empty()) properties.insert(QStringLiteral("preferred_trigger"), QString::fromStdString(trigger));
    shortcuts.push_back({QString::fromStdString(binding.name), properties});
  }
  Request(QStringLiteral("BindShortcuts"),
          {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()}, {});
}

void PortalGlobalHotkeys::Request(const QString& method, const QVariantList& arguments, QVariantMap options) {
  const QString token = NextToken();
  options.insert(QStringLiteral("handle_token"), token);
  const QString expectedPath = kPortalPath + QStringLiteral("/request/") + SenderPathElement(bus_.baseService()) +
                               QLatin1Char('/') + token;
  ListenForResponse(expectedPath);
  QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kShortcutsInterface, method);
  QVariantList all = arguments;
  all.push_back(options);
  call.setArguments(all);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, method, expectedPath](QDBusPendingCallWatcher* reply) {
    reply->deleteLater();
    const QDBusPendingReply<QDBusObjectPath> handle = *reply;
    if (requestPath_ != expectedPath) return;  // answered already, or given up
    if (handle.isError()) {
      MarkUnsupported("the desktop portal refused " + method.toStdString() + " (" +
                      handle.error().name().toStdString() + ": " + handle.error().message().toStdString() + ")");
      StopListening();
      CloseSession();
      Finish({});
      return;
    }
    // Portals before the predictable paths answer on a path of their own choosing.
    if (handle.value().path() != expectedPath) ListenForResponse(handle.value().path());
  });
}

void PortalGlobalHotkeys::ListenForResponse(const QString& requestPath) {
  StopListening();
  requestPath_ = requestPath;
  if (!bus_.connect(kPortalService, requestPath_, kRequestInterface, QStringLiteral("Response"), this,
                    SLOT(OnResponse(uint, QVariantMap)))) {
    LOG(ERROR) << "hotkeys: cannot listen for the desktop portal's answer on " << requestPath_.toStdString();
  }
}

void PortalGlobalHotkeys::StopListening() {
  if (requestPath_.isEmpty()) return;
  bus_.disconnect(kPortalService, requestPath_, kRequestInterface, QStringLiteral("Response"), this,
                  SLOT(OnResponse(uint, QVariantMap)));
  requestPath_.clear();
}

void PortalGlobalHotkeys::OnResponse(uint response, const QVariantMap& results) {
  StopListening();
  const Step step = step_;
  if (step == Step::kIdle) return;
  if (response == kResponseCancelled) {
    MarkUnsupported("the user refused the global shortcuts");
    CloseSession();
    Finish({});
    return;
  }
  if (response != kResponseSuccess) {
    LOG(WARNING) << "hotkeys: the desktop portal could not " << (step == Step::kBinding ? "bind the shortcuts" : "open a session")
                 << " (response " << response << ")";
    CloseSession();
    Finish({});
    return;
  }
  if (step == Step::kCreatingSession) {
    session_ = SessionPathOf(results.value(QStringLiteral("session_handle")));
    if (session_.isEmpty()) {
      LOG(WARNING) << "hotkeys: the desktop portal opened a session without naming it";
      Finish({});
      return;
    }
    AskBindShortcuts();
    return;
  }
  OnBound(results);
}

void PortalGlobalHotkeys::OnBound(const QVariantMap& results) {
  std::vector<bool> held(wanted_.size(), true);
  // The answer lists the shortcuts the session holds; one left out was not taken.
  if (results.contains(QStringLiteral("shortcuts"))) {
    const std::vector<QString> names = ShortcutNames(results.value(QStringLiteral("shortcuts")));
    for (size_t i = 0; i < wanted_.size(); ++i) {
      held[i] = std::find(names.begin(), names.end(), QString::fromStdString(wanted_[i].name)) != names.end();
    }
  }
  bound_ = wanted_;
  held_ = held;
  Finish(std::move(held));
}

void PortalGlobalHotkeys::OnActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong,
                                      const QVariantMap&) {
  if (session_.isEmpty() || session.path() != session_ || !pressed_) return;
  for (size_t i = 0; i < bound_.size(); ++i) {
    if (held_[i] && QString::fromStdString(bound_[i].name) == shortcutId) {
      pressed_(bound_[i].id);
      return;
    }
  }
}

void PortalGlobalHotkeys::CloseSession() {
  if (session_.isEmpty()) return;
  bus_.send(QDBusMessage::createMethodCall(kPortalService, session_, kSessionInterface, QStringLiteral("Close")));
  session_.clear();
  bound_.clear();
  held_.clear();
}

void PortalGlobalHotkeys::Finish(std::vector<bool> held) {
  held.resize(wanted_.size(), false);
  step_ = Step::kIdle;
  wanted_.clear();
  // Taken out first: done may ask for the next binding at once.
  BoundHandler done = std::move(done_);
  done_ = nullptr;
  if (done) done(held);
}

void PortalGlobalHotkeys::MarkUnsupported(const std::string& reason) {
  if (probe_ == Probe::kUnsupported) return;
  probe_ = Probe::kUnsupported;
  unsupported_ = reason;
  LOG(WARNING) << "hotkeys: this desktop gives no global hotkeys: " << reason;
}

QString PortalGlobalHotkeys::NextToken() { return QStringLiteral("zav%1").arg(++tokens_); }

}  // namespace zav
