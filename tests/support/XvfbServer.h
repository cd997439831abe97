#pragma once
// A private X server (Xvfb) for tests that need X11 itself, on a display number that no other
// server uses. Stopped when the object goes.
//
// Create and destroy it on one thread (the test's); the server dies with that thread.

#include <sys/types.h>

#include <string>

namespace zav::test {

class XvfbServer {
 public:
  // Starts the server and waits until it takes connections.
  XvfbServer();
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool running() const { return running_; }
  // Why the server did not start, with its log.
  const std::string& error() const { return error_; }
  // The DISPLAY value, such as ":3".
  const std::string& display() const { return display_; }

 private:
  bool running_ = false;
  std::string error_;
  std::string display_;
  std::string folder_;
  pid_t pid_ = -1;
};

}  // namespace zav::test
