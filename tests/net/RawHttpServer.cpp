#include "RawHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <stdexcept>

namespace zav::test {

namespace {

// A socket bound to 127.0.0.1 on a free port; its port in *port.
int BindLoopback(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot bind a loopback socket");
  }
  *port = ntohs(address.sin_port);
  return fd;
}

size_t ContentLength(const std::string& head) {
  std::string lower(head);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  const size_t at = lower.find("\r\ncontent-length:");
  return at == std::string::npos ? 0 : std::stoul(lower.substr(at + 17));
}

}  // namespace

RawHttpServer::RawHttpServer(std::string reply) : reply_(std::move(reply)) {
  listener_ = BindLoopback(&port_);
  stopEvent_ = ::eventfd(0, EFD_CLOEXEC);
  if (::listen(listener_, 8) != 0 || stopEvent_ < 0) throw std::runtime_error("cannot listen");
  thread_ = std::thread([this] { Serve(); });
}

RawHttpServer::~RawHttpServer() {
  const uint64_t one = 1;
  (void)!::write(stopEvent_, &one, sizeof(one));
  thread_.join();
  ::close(listener_);
  ::close(stopEvent_);
}

std::vector<std::string> RawHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool RawHttpServer::WaitReadable(int fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stopEvent_, POLLIN, 0}};
  return ::poll(fds, 2, -1) > 0 && !(fds[1].revents & POLLIN);
}

bool RawHttpServer::ReadRequest(int connection, std::string& request) {
  char buffer[4096];
  size_t headEnd = std::string::npos;
  while (headEnd == std::string::npos || request.size() < headEnd + 4 + ContentLength(request.substr(0, headEnd))) {
    if (!WaitReadable(connection)) return false;
    const ssize_t got = ::recv(connection, buffer, sizeof(buffer), 0);
    if (got <= 0) return false;
    request.append(buffer, static_cast<size_t>(got));
    headEnd = request.find("\r\n\r\n");
  }
  return true;
}

void RawHttpServer::Serve() {
  std::vector<int> unanswered;  // held open until the server stops
  while (WaitReadable(listener_)) {
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    std::string request;
    const bool complete = ReadRequest(connection, request);
    if (complete) {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    if (complete && reply_.empty()) {
      unanswered.push_back(connection);
      continue;
    }
    if (complete) (void)!::send(connection, reply_.data(), reply_.size(), MSG_NOSIGNAL);
    ::close(connection);
  }
  for (int connection : unanswered) ::close(connection);
}

RefusingPort::RefusingPort() { socket_ = BindLoopback(&port_); }  // bound, never listening

RefusingPort::~RefusingPort() { ::close(socket_); }

}  // namespace zav::test
