#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zav {
namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded (a late write error shows up here).
  bool Reset() {
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string ParentFolder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string* contents) {
  contents->clear();
  // O_NONBLOCK so that a FIFO planted at the path cannot hang the caller in open().
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadResult::kFailed;

  char chunk[8192];
  for (;;) {
    const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      contents->clear();
      return ReadResult::kFailed;
    }
    if (got == 0) break;
    contents->append(chunk, static_cast<std::size_t>(got));
  }
  return ReadResult::kOk;
}

ExclusiveFileLock::ExclusiveFileLock(const std::string& lockPath) {
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return;
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

ExclusiveFileLock::~ExclusiveFileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor releases the lock
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents) {
  const std::string tempPath = path + ".tmp";
  ::unlink(tempPath.c_str());
  UniqueFd fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) return false;
  const bool written = WriteAll(fd.get(), contents) && ::fsync(fd.get()) == 0;
  if (!fd.Reset() || !written || ::rename(tempPath.c_str(), path.c_str()) != 0) {
    ::unlink(tempPath.c_str());
    return false;
  }
  // Make the rename itself durable; the data is already safe, so a failure here is not fatal.
  UniqueFd folder(::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}

}  // namespace zav
