#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace zav {

std::string ParentFolder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool LockExclusive(int fd, bool wait) {
  int rc;
  do {
    rc = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

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

ReadResult OpenForReading(const std::string& path, UniqueFd* fd) {
  // O_NONBLOCK so that a FIFO planted at the path cannot hang the caller in open().
  UniqueFd opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!opened.valid()) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat info {};
  if (::fstat(opened.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadResult::kFailed;
  *fd = std::move(opened);
  return ReadResult::kOk;
}

ReadResult ReadWholeFile(const std::string& path, std::string* contents) {
  contents->clear();
  UniqueFd fd;
  if (const ReadResult opened = OpenForReading(path, &fd); opened != ReadResult::kOk) return opened;
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
  // O_NOFOLLOW: a link planted at the lock's name must not make us create its target.
  UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (fd.valid() && LockExclusive(fd.get(), true)) fd_ = std::move(fd);
}

std::string FinalLinkTarget(const std::string& path) {
  // As many links as the kernel follows in one path lookup before it gives up with ELOOP.
  constexpr int kMaxLinks = 40;
  std::string current = path;
  for (int followed = 0; followed <= kMaxLinks; ++followed) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::vector<char> text(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    const ssize_t length = ::readlink(current.c_str(), text.data(), text.size());
    if (length < 0) return current;
    if (static_cast<std::size_t>(length) == text.size()) continue;  // grew meanwhile: read it again
    const std::string target(text.data(), static_cast<std::size_t>(length));
    current = target.starts_with('/') ? target : ParentFolder(current) + "/" + target;
  }
  return {};
}

bool ReplaceFileAtomically(const std::string& linkOrPath, const std::function<bool(int fd)>& writeContents) {
  // Renaming over a link would replace the link itself, and the file it leads to (kept by a
  // dotfile manager, say) would silently stop being updated.
  const std::string path = FinalLinkTarget(linkOrPath);
  if (path.empty()) return false;
  const std::string tempPath = path + ".tmp";
  ::unlink(tempPath.c_str());
  UniqueFd fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.valid()) return false;
  const bool written = writeContents(fd.get()) && ::fsync(fd.get()) == 0;
  if (!fd.Reset() || !written || ::rename(tempPath.c_str(), path.c_str()) != 0) {
    ::unlink(tempPath.c_str());
    return false;
  }
  // Make the rename itself durable; the data is already safe, so a failure here is not fatal.
  UniqueFd folder(::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents) {
  return ReplaceFileAtomically(path, [contents](int fd) { return WriteAll(fd, contents); });
}

}  // namespace zav
