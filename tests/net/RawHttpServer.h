#pragma once
// A bare HTTP server on 127.0.0.1 for the tests that need what a library server hides: the
// request exactly as its bytes arrived, an answer exactly as written (a status with an empty
// body), or no answer at all. One connection at a time.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zav::test {

class RawHttpServer {
 public:
  // reply: the bytes sent back after each request; empty: never answer (the connection is
  // held until the server stops).
  explicit RawHttpServer(std::string reply);
  ~RawHttpServer();
  RawHttpServer(const RawHttpServer&) = delete;
  RawHttpServer& operator=(const RawHttpServer&) = delete;

  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Requests received so far, head and body, byte for byte.
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  bool ReadRequest(int connection, std::string& request);
  bool WaitReadable(int fd);

  const std::string reply_;
  int listener_ = -1;
  int stopEvent_ = -1;  // an eventfd that wakes every wait when the server stops
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 that refuses connections for as long as this object lives.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int socket_ = -1;
  int port_ = 0;
};

}  // namespace zav::test
