// Main of the tests that need X11 itself: a private Xvfb, a private session bus, the Qt
// application on them (xcb), and the user's folders moved into a temporary tree. When Xvfb cannot start, the application runs
// offscreen and every test fails with the reason (see X11TestEnvironment.h).
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

#include "SessionBus.h"
#include "X11TestEnvironment.h"
#include "XvfbServer.h"

namespace {
std::string g_displayProblem = "the test display was not started";
std::string g_display;
std::string g_busAddress;
}  // namespace

namespace zav::test {
const std::string& TestDisplayProblem() { return g_displayProblem; }
const std::string& TestDisplay() { return g_display; }
const std::string& TestBusAddress() { return g_busAddress; }
}  // namespace zav::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QTemporaryDir home;
  if (!home.isValid()) return 1;
  qputenv("HOME", home.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());

  // Listing the tests (at build time) needs no display.
  std::unique_ptr<zav::test::XvfbServer> xvfb;
  std::unique_ptr<zav::test::SessionBus> bus;
  if (!GTEST_FLAG_GET(list_tests)) {
    bus = std::make_unique<zav::test::SessionBus>();
    if (bus->running()) {
      g_busAddress = bus->address();
      qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(g_busAddress));
    }
    xvfb = std::make_unique<zav::test::XvfbServer>();
    if (xvfb->running()) {
      g_display = xvfb->display();
      g_displayProblem.clear();
    } else {
      g_displayProblem = xvfb->error();
    }
  }
  if (g_display.empty()) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  } else {
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("DISPLAY", QByteArray::fromStdString(g_display));
  }
  int result = 1;
  {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    result = RUN_ALL_TESTS();
  }
  return result;
}
