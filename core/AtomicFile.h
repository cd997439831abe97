#pragma once
// File access for small settings files shared between threads and processes: reads that
// cannot hang on a planted FIFO, an exclusive advisory lock on a side file, and replacement
// by temporary file + fsync + rename, so readers see either the old or the new contents,
// never a torn mix.

#include <functional>
#include <string>
#include <string_view>

#include "UniqueFd.h"

namespace zav {

enum class ReadResult { kOk, kMissing, kFailed };

// The folder part of path: "." for a bare name, "/" for a name in the root.
std::string ParentFolder(const std::string& path);

// flock(fd, LOCK_EX), retried when a signal interrupts it; with wait false, fails at once
// (errno EWOULDBLOCK) when another open file holds the lock. True when the lock is held.
bool LockExclusive(int fd, bool wait);

// Opens the regular file at path for reading. kMissing when it does not exist; kFailed when
// it exists but cannot be read (no permission, not a regular file).
ReadResult OpenForReading(const std::string& path, UniqueFd* fd);

// Reads the whole regular file at path (see OpenForReading); kFailed also on an I/O error.
ReadResult ReadWholeFile(const std::string& path, std::string* contents);

// write(2) of all of data, resumed after signals and short writes. False on an error.
bool WriteAll(int fd, std::string_view data);

// Holds flock(LOCK_EX) on lockPath (created when missing) for its lifetime. The lock file is
// never replaced, so all holders agree on one inode even while the data file is renamed over.
class ExclusiveFileLock {
 public:
  explicit ExclusiveFileLock(const std::string& lockPath);
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

  bool locked() const { return fd_.valid(); }

 private:
  UniqueFd fd_;  // closing the last descriptor releases the lock
};

// Where a write to path lands: path itself, or, when path is a symbolic link (a chain of them
// included), the file the last link names; relative link texts count from their link's folder.
// A dangling link gives the missing file it names. Empty after too many links (a loop).
std::string FinalLinkTarget(const std::string& path);

// Writes path + ".tmp" through writeContents (given the temporary file's descriptor; false
// stops the replacement), flushes it to disk and renames it over path. The caller holds the
// file's lock: the temporary name is fixed, so a crashed writer leaves at most one stale
// temporary, reused by the next write. False on any failure; path is then untouched.
// A path that is a symbolic link stays one: the file it leads to (FinalLinkTarget) is
// replaced, with the temporary file beside that file.
bool ReplaceFileAtomically(const std::string& path, const std::function<bool(int fd)>& writeContents);
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

}  // namespace zav
