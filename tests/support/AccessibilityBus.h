#pragma once
// The accessibility bus of a desktop session for tests: at-spi-bus-launcher on a test's private
// session bus, which starts the AT-SPI bus and, on it, the registry that screen readers ask for
// the applications. It runs in a runtime folder of its own (XDG_RUNTIME_DIR), so tests on other
// buses and displays never meet it. Programs find it through org.a11y.Bus on the session bus;
// it is ready once that name answers (AtSpiReader waits for it). Stopped when the object goes.
//
// Create and destroy it on one thread (the test's); the launcher dies with that thread.

#include <sys/types.h>

#include <string>

namespace zav::test {

class AccessibilityBus {
 public:
  // sessionBusAddress: DBUS_SESSION_BUS_ADDRESS of the session; display: its DISPLAY.
  AccessibilityBus(const std::string& sessionBusAddress, const std::string& display);
  ~AccessibilityBus();
  AccessibilityBus(const AccessibilityBus&) = delete;
  AccessibilityBus& operator=(const AccessibilityBus&) = delete;

  bool started() const { return pid_ > 0; }
  const std::string& error() const { return error_; }
  // The XDG_RUNTIME_DIR of the session (a fresh folder, mode 0700), for its programs too.
  const std::string& runtimeDir() const { return runtimeDir_; }
  std::string ReadLog() const;

 private:
  std::string error_;
  std::string folder_;
  std::string runtimeDir_;
  std::string logPath_;
  pid_t pid_ = -1;
};

}  // namespace zav::test
