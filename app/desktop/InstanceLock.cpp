#include "InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "AtomicFile.h"

namespace zav {

InstanceLock::Result InstanceLock::TryAcquire() {
  if (fd_.valid()) return Result::kAcquired;
  // O_CLOEXEC: programs that we start (players, the file manager) must not inherit the lock.
  UniqueFd fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd.valid()) return Result::kUnavailable;
  if (!LockExclusive(fd.get(), false)) return errno == EWOULDBLOCK ? Result::kHeldByOther : Result::kUnavailable;
  // Closing the descriptor (when the lock goes) releases the lock.
  fd_ = std::move(fd);
  // Only a hint for a second start's message: a failed write changes nothing else.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd_.get(), 0) == 0) (void)WriteAll(fd_.get(), pid);
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
