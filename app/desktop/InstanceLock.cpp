#include "InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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
  return Result::kAcquired;
}

}  // namespace zav
