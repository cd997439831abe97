#pragma once
// A private D-Bus session bus (dbus-daemon) for tests of desktop services: it knows no service
// of the machine and activates nothing, so only what a test starts on it answers there (the
// stand-ins of the desktop portal and of the tray's watcher). Stopped when the object goes.
//
// Create and destroy it on one thread (the test's); the daemon dies with that thread.

#include <sys/types.h>

#include <string>
#include <vector>

namespace zav::test {

class SessionBus {
 public:
  // Starts the daemon and waits until it takes connections.
  SessionBus();
  ~SessionBus();
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  bool running() const { return running_; }
  // Why the bus did not start, with the daemon's log.
  const std::string& error() const { return error_; }
  // The DBUS_SESSION_BUS_ADDRESS value, "unix:path=...".
  const std::string& address() const { return address_; }

 private:
  bool running_ = false;
  std::string error_;
  std::string address_;
  std::string folder_;
  pid_t pid_ = -1;
};

// A program that offers a service on a bus, started for a test: its arguments, the bus in its
// environment, its output in a log; ready once it has printed a line "ready" (the stand-ins
// print it after taking their bus names). Stopped when the object goes.
class BusService {
 public:
  BusService(const std::string& program, const std::vector<std::string>& arguments, const std::string& busAddress);
  ~BusService();
  BusService(const BusService&) = delete;
  BusService& operator=(const BusService&) = delete;

  bool running() const { return running_; }
  const std::string& error() const { return error_; }
  std::string ReadLog() const;

 private:
  bool running_ = false;
  std::string error_;
  std::string logPath_;
  pid_t pid_ = -1;
};

}  // namespace zav::test
