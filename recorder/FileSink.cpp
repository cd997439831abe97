#include "FileSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "RecordingName.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace zav {
namespace {

constexpr int kIoBufferBytes = 32 * 1024;
// Numbered names tried before giving up (a folder full of planted names must not loop forever).
constexpr int kMaxNumberedNames = 9999;

int FdOf(void* opaque) { return static_cast<int>(reinterpret_cast<intptr_t>(opaque)); }

int WriteBytes(void* opaque, uint8_t* data, int size) {
  int left = size;
  while (left > 0) {
    const ssize_t written = ::write(FdOf(opaque), data, static_cast<size_t>(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      return AVERROR(errno);
    }
    data += written;
    left -= static_cast<int>(written);
  }
  return size;
}

int ReadBytes(void* opaque, uint8_t* data, int size) {
  for (;;) {
    const ssize_t got = ::read(FdOf(opaque), data, static_cast<size_t>(size));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return AVERROR(errno);
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
  }
}

int64_t SeekBytes(void* opaque, int64_t offset, int whence) {
  if (whence & AVSEEK_SIZE) {
    struct stat info {};
    return ::fstat(FdOf(opaque), &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
  }
  const off_t at = ::lseek(FdOf(opaque), static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

}  // namespace

UniqueFd CreateNewFile(const std::string& folder, const std::string& name, std::string* usedName) {
  for (int n = 1; n <= kMaxNumberedNames; ++n) {
    const std::string candidate = NumberedFileName(name, n);
    // O_EXCL never opens what exists, a link included; O_NOFOLLOW says so twice.
    UniqueFd fd(::open((folder + "/" + candidate).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.valid()) {
      *usedName = candidate;
      return fd;
    }
    if (errno != EEXIST) break;
  }
  return UniqueFd();
}

void AvioDeleter::operator()(AVIOContext* io) const {
  av_freep(&io->buffer);  // FFmpeg may have replaced the buffer we gave it
  avio_context_free(&io);
}

AvioPtr MakeFdIo(int fd, bool writable) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
  if (!buffer) return nullptr;
  AVIOContext* io = avio_alloc_context(buffer, kIoBufferBytes, writable ? 1 : 0,
                                       reinterpret_cast<void*>(static_cast<intptr_t>(fd)), ReadBytes,
                                       writable ? WriteBytes : nullptr, SeekBytes);
  if (!io) av_free(buffer);
  return AvioPtr(io);
}

bool PathStillNames(const std::string& path, int fd) {
  struct stat open {}, named {};
  return ::fstat(fd, &open) == 0 && open.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace zav
