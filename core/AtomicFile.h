#pragma once
// File access for small settings files shared between threads and processes: whole-file
// reads, an exclusive advisory lock on a side file, and replacement by temporary file +
// fsync + rename, so readers see either the old or the new contents, never a torn mix.

#include <string>
#include <string_view>

namespace zav {

enum class ReadResult { kOk, kMissing, kFailed };

// Reads the whole regular file at path. kMissing when it does not exist; kFailed when it
// exists but cannot be read (no permission, not a regular file, I/O error).
ReadResult ReadWholeFile(const std::string& path, std::string* contents);

// Holds flock(LOCK_EX) on lockPath (created when missing) for its lifetime. The lock file is
// never replaced, so all holders agree on one inode even while the data file is renamed over.
class ExclusiveFileLock {
 public:
  explicit ExclusiveFileLock(const std::string& lockPath);
  ~ExclusiveFileLock();
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

  bool locked() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Writes contents to path + ".tmp", flushes it to disk and renames it over path. The caller
// holds the file's lock: the temporary name is fixed, so a crashed writer leaves at most one
// stale temporary, reused by the next write. False on any failure; path is then untouched.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

}  // namespace zav
