#include "InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "AtomicFile.h"

namespace zav {

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the descriptor releases the lock
}

InstanceLock::Result InstanceLock::TryAcquire() {
  if (fd_ >= 0) return Result::kAcquired;
  // O_CLOEXEC: programs that we start (players, the file manager) must not inherit the lock.
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Result::kUnavailable;
  if (!LockExclusive(fd, false)) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? Result::kHeldByOther : Result::kUnavailable;
  }
  fd_ = fd;
  // Only a hint for a second start's message: a failed write changes nothing else.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd_, 0) == 0) (void)WriteAll(fd_, pid);
  return Result::kAcquired;
}

long InstanceLock::HolderPid(const std::string& path) {
  std::string text;
  if (ReadWholeFile(path, &text) != ReadResult::kOk) return 0;
  char* end = nullptr;
  const long pid = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() && pid > 0 ? pid : 0;
}

}  // namespace zav
