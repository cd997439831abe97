#pragma once
// A private Wayland compositor for tests: weston on its headless backend (no screen, no input
// devices), in a runtime folder of its own, so tests can run side by side. Stopped when the
// object goes.
//
// Create and destroy it on one thread (the test's); the compositor dies with that thread.

#include <sys/types.h>

#include <string>

namespace zav::test {

class WestonServer {
 public:
  // Starts the compositor and waits until its socket takes connections.
  WestonServer();
  ~WestonServer();
  WestonServer(const WestonServer&) = delete;
  WestonServer& operator=(const WestonServer&) = delete;

  bool running() const { return running_; }
  // Why the compositor did not start, with its log.
  const std::string& error() const { return error_; }
  // XDG_RUNTIME_DIR for its clients (the compositor's socket is in it).
  const std::string& runtimeFolder() const { return folder_; }
  // The WAYLAND_DISPLAY value: the socket's name in that folder.
  const std::string& display() const { return display_; }

 private:
  bool running_ = false;
  std::string error_;
  std::string folder_;
  std::string display_;
  pid_t pid_ = -1;
};

}  // namespace zav::test
