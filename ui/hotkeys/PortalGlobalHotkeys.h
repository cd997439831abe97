#pragma once
// Global hotkeys through the desktop portal, for Wayland sessions, where no program may grab
// keys: org.freedesktop.portal.GlobalShortcuts on the session bus. The hotkeys live in a portal
// session of their own: CreateSession, then BindShortcuts with each hotkey's name, description
// and its combination as the preferred trigger; the desktop may ask the user, who may keep,
// change or refuse them. A press arrives as the portal's Activated signal for that session.
// A session can be bound once, so another set of hotkeys closes it and binds a new one.
//
// Every portal call is a request: its answer comes later, as the Response signal of a request
// object whose path the caller knows in advance (…/request/<sender>/<token>), so the answer
// is listened for before the call is made.
//
// At construction the portal is asked, without waiting, whether it has the GlobalShortcuts
// interface; without one (or without a portal) every binding fails and Unsupported() says why.
//
// UI thread only.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <string>
#include <vector>

#include "GlobalHotkeys.h"

class QDBusObjectPath;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

namespace zav {

// The combination as a trigger of the XDG shortcuts notation: "ALT+F8", "CTRL+SHIFT+F5",
// "LOGO+F1". Empty for a combination that is not valid.
std::string PortalTrigger(HotkeyCombo combo);

class PortalGlobalHotkeys final : public QObject, public GlobalHotkeys {
  Q_OBJECT

 public:
  // bus: the session bus (or a private one in tests).
  explicit PortalGlobalHotkeys(QDBusConnection bus);
  // Closes the portal session; a request still unanswered is dropped unanswered.
  ~PortalGlobalHotkeys() override;

  void Bind(std::vector<HotkeyBinding> bindings, BoundHandler done) override;
  void SetPressedHandler(PressedHandler handler) override { pressed_ = std::move(handler); }
  std::string Unsupported() const override { return unsupported_; }

 private slots:
  void OnActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                   const QVariantMap& options);
  void OnResponse(uint response, const QVariantMap& results);

 private:
  enum class Probe { kAsking, kReady, kUnsupported };
  enum class Step { kIdle, kCreatingSession, kBinding };

  void OnProbeAnswer(QDBusPendingCallWatcher* call);
  void StartBind();
  void AskBindShortcuts();
  void OnBound(const QVariantMap& results);
  // Makes a portal call whose answer is a request's Response, listening for it first.
  void Request(const QString& method, const QVariantList& arguments, QVariantMap options);
  void ListenForResponse(const QString& requestPath);
  void StopListening();
  void CloseSession();
  // Ends the request in flight with held (nothing held when empty).
  void Finish(std::vector<bool> held);
  void MarkUnsupported(const std::string& reason);
  QString NextToken();

  QDBusConnection bus_;
  Probe probe_ = Probe::kAsking;
  Step step_ = Step::kIdle;
  std::string unsupported_;
  PressedHandler pressed_;
  QDBusServiceWatcher* portalWatcher_ = nullptr;

  // The request in flight (or waiting for the probe's answer).
  std::vector<HotkeyBinding> wanted_;
  BoundHandler done_;
  bool requestWaiting_ = false;
  QString requestPath_;

  // What the open session holds.
  QString session_;
  std::vector<HotkeyBinding> bound_;
  std::vector<bool> held_;
  int tokens_ = 0;
};

}  // namespace zav
