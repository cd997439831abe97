// Main of the tests on Wayland: a private weston on its headless backend, a private session bus
// with the tray watcher's stand-in (started before the application, which asks once whether a
// tray is there), the Qt application on Wayland (no X display at all), and the user's folders
// moved into a temporary tree. When any of it cannot start, the application runs offscreen and
// every test fails with the reason (see WaylandTestEnvironment.h).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

#include "UiTestSupport.h"
#include "WaylandTestEnvironment.h"
#include "WestonServer.h"

namespace {
std::string g_problem = "the test desktop was not started";
std::string g_busAddress;
constexpr int kCallTimeoutMs = 15000;
constexpr std::chrono::seconds kTeardownLimit{15};

// Qt 6.4's Wayland client can leave its event thread waiting in wl_display_read_events for a
// reader that is gone, and the application's destructor then waits for that thread for ever
// (seen about once in twenty quick runs on a loaded machine, after every test had passed). The
// results are known by then: a teardown that hangs stops the test desktop and ends the process
// with them instead. The lock is held to the end, so the main thread cannot go on meanwhile.
class TeardownWatch {
 public:
  TeardownWatch(int result, std::function<void()> stopDesktop)
      : thread_([this, result, stopDesktop = std::move(stopDesktop)] {
          std::unique_lock lock(mutex_);
          if (ended_.wait_for(lock, kTeardownLimit, [this] { return done_; })) return;
          stopDesktop();
          std::fprintf(stderr, "the Qt application's Wayland teardown hung for %lld s; ending with the tests' result\n",
                       static_cast<long long>(kTeardownLimit.count()));
          std::fflush(nullptr);
          _exit(result);
        }) {}
  ~TeardownWatch() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    ended_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};
}  // namespace

namespace zav::test {

const std::string& WaylandTestProblem() { return g_problem; }
const std::string& TestBusAddress() { return g_busAddress; }

std::unique_ptr<BusService> StartPortal(const std::vector<std::string>& options) {
  return std::make_unique<BusService>(ZAV_TEST_PORTAL_PATH, options, g_busAddress);
}

QDBusMessage CallOnBus(const QString& service, const QString& path, const QString& interface, const QString& method,
                       const QVariantList& arguments) {
  QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
  call.setArguments(arguments);
  QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, kCallTimeoutMs);
  WaitUntil([&] { return pending.isFinished(); }, kCallTimeoutMs + 1000);
  return pending.reply();
}

QDBusMessage CallPortal(const QString& method, const QVariantList& arguments) {
  return CallOnBus(QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
                   QStringLiteral("org.zav.TestPortal"), method, arguments);
}

QDBusMessage CallTray(const QString& method, const QVariantList& arguments) {
  return CallOnBus(QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
                   QStringLiteral("org.zav.TestTray"), method, arguments);
}

}  // namespace zav::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QTemporaryDir home;
  if (!home.isValid()) return 1;
  qputenv("HOME", home.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());

  // Listing the tests (at build time) needs no desktop.
  std::unique_ptr<zav::test::WestonServer> weston;
  std::unique_ptr<zav::test::SessionBus> bus;
  std::unique_ptr<zav::test::BusService> trayWatcher;
  if (!GTEST_FLAG_GET(list_tests)) {
    weston = std::make_unique<zav::test::WestonServer>();
    bus = std::make_unique<zav::test::SessionBus>();
    if (!weston->running()) {
      g_problem = weston->error();
    } else if (!bus->running()) {
      g_problem = bus->error();
    } else {
      g_busAddress = bus->address();
      trayWatcher = std::make_unique<zav::test::BusService>(ZAV_TEST_TRAY_WATCHER_PATH, std::vector<std::string>{},
                                                            g_busAddress);
      g_problem = trayWatcher->running() ? std::string() : trayWatcher->error();
    }
  }
  // A Wayland session and nothing else: no X display to fall back on, no desktop's theme.
  unsetenv("DISPLAY");
  unsetenv("XDG_CURRENT_DESKTOP");
  unsetenv("QT_QPA_PLATFORMTHEME");
  if (g_problem.empty()) {
    qputenv("QT_QPA_PLATFORM", "wayland");
    qputenv("XDG_SESSION_TYPE", "wayland");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(weston->runtimeFolder()));
    qputenv("WAYLAND_DISPLAY", QByteArray::fromStdString(weston->display()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(g_busAddress));
    // No title bars drawn by Qt (weston leaves them to the client): they would load EGL, whose
    // Mesa driver keeps allocations in a module it unloads at exit, which LeakSanitizer then
    // reports unsuppressibly. The tests look at what is inside the windows.
    qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
  } else {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    unsetenv("WAYLAND_DISPLAY");
  }
  int result = 1;
  std::optional<TeardownWatch> teardown;
  {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    result = RUN_ALL_TESTS();
    teardown.emplace(result, [&] {
      trayWatcher.reset();
      bus.reset();
      weston.reset();
      home.remove();
    });
  }
  teardown.reset();
  return result;
}
