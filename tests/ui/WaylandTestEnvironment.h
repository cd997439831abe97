#pragma once
// What the Wayland tests' main set up: a private compositor (headless weston), a private
// session bus with the tray's watcher stand-in on it, and the Qt application on Wayland.

#include <QDBusMessage>
#include <QString>
#include <QVariantList>

#include <memory>
#include <string>

#include "SessionBus.h"

namespace zav::test {

// Empty when the application runs on the private compositor and bus; otherwise why not.
const std::string& WaylandTestProblem();
// DBUS_SESSION_BUS_ADDRESS of the private bus (the application's session bus).
const std::string& TestBusAddress();

// The desktop portal's stand-in on the private bus, with its options ("--refuse", ...).
std::unique_ptr<BusService> StartPortal(const std::vector<std::string>& options = {});

// Calls a method on the private bus without blocking this thread, whose event loop keeps
// running meanwhile (the callee may call back into the application, as the tray's host does).
QDBusMessage CallOnBus(const QString& service, const QString& path, const QString& interface, const QString& method,
                       const QVariantList& arguments = {});

// A control method of the portal's stand-in (org.zav.TestPortal) and of the tray's (org.zav.TestTray).
QDBusMessage CallPortal(const QString& method, const QVariantList& arguments = {});
QDBusMessage CallTray(const QString& method, const QVariantList& arguments = {});

}  // namespace zav::test
