#pragma once
// The per-user lock that lets only one copy of the program run: an exclusive flock on a file
// of the user's settings tree, held until the object (or the process) ends. The holder writes
// its process id into the file, so that a second start can say which copy holds it. No Qt.

#include <string>

#include "UniqueFd.h"

namespace zav {

class InstanceLock {
 public:
  enum class Result {
    kAcquired,     // this process is the one copy
    kHeldByOther,  // another process holds the lock
    kUnavailable,  // the lock file cannot be opened (the caller runs without the guard)
  };

  explicit InstanceLock(std::string path) : path_(std::move(path)) {}
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  Result TryAcquire();
  const std::string& path() const { return path_; }

  // The process id the holder wrote into the lock file at path; 0 when there is none.
  static long HolderPid(const std::string& path);

 private:
  std::string path_;
  UniqueFd fd_;
};

}  // namespace zav
