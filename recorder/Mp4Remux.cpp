#include "Mp4Remux.h"

#include <dirent.h>
#include <fcntl.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AtomicFile.h"
#include "FfmpegHandles.h"
#include "FileSink.h"

namespace zav {
namespace {

constexpr std::string_view kTemporarySuffix = ".zavtmp";
// Room the rewrite needs beyond the recording's size: its index, and what the disk keeps back.
constexpr uint64_t kRewriteMarginBytes = 4 << 20;

struct DirDeleter {
  void operator()(DIR* d) const { closedir(d); }
};

// Copies every packet of input into a new plain MP4 written through output. True when the
// copy is complete and flushed.
bool CopyPackets(AVFormatContext* input, AVIOContext* output, const std::string& path) {
  const AVOutputFormat* format = av_guess_format(nullptr, path.c_str(), nullptr);
  AVFormatContext* rawOut = nullptr;
  if (!format || avformat_alloc_output_context2(&rawOut, format, nullptr, nullptr) < 0 || !rawOut) return false;
  OutputFormatContextPtr muxer(rawOut);
  rawOut->pb = output;
  rawOut->flags |= AVFMT_FLAG_CUSTOM_IO;
  AVStream* in = input->streams[0];
  AVStream* out = avformat_new_stream(rawOut, nullptr);
  if (!out || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) return false;
  out->codecpar->codec_tag = 0;
  out->time_base = in->time_base;
  if (avformat_write_header(rawOut, nullptr) < 0) return false;
  PacketPtr packet(av_packet_alloc());
  int r = 0;
  while (packet && (r = av_read_frame(input, packet.get())) >= 0) {
    packet->stream_index = 0;
    av_packet_rescale_ts(packet.get(), in->time_base, out->time_base);
    packet->pos = -1;
    if (av_interleaved_write_frame(rawOut, packet.get()) < 0) return false;
  }
  if (!packet || r != AVERROR_EOF || av_write_trailer(rawOut) < 0) return false;
  avio_flush(output);
  return output->error >= 0;
}

}  // namespace

bool IsRewriteTemporaryName(std::string_view name) {
  return name.size() > kTemporarySuffix.size() + 1 && name.front() == '.' && name.ends_with(kTemporarySuffix);
}

int RemuxToPlainMp4(int fd, const std::string& path) {
  const std::string folder = ParentFolder(path);
  const std::string name = path.substr(path.rfind('/') + 1);
  auto fail = [&path](const char* why) {
    LOG(ERROR) << "could not rewrite " << path << " as a plain MP4 (" << why << "); the fragmented recording is kept";
    return -1;
  };

  struct stat original {};
  if (::fstat(fd, &original) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return fail(std::strerror(errno));
  // The copy needs as much room again as the recording: without it, the fragmented file stays.
  struct statvfs disk {};
  const uint64_t needed = static_cast<uint64_t>(original.st_size) + static_cast<uint64_t>(original.st_size) / 100 +
                          kRewriteMarginBytes;
  if (::statvfs(folder.c_str(), &disk) == 0 && uint64_t{disk.f_bavail} * disk.f_frsize < needed) {
    LOG(WARNING) << path << " stays a fragmented MP4, which plays as it is: rewriting it as a plain one needs "
                 << needed / (1 << 20) << " MB free, the disk has " << uint64_t{disk.f_bavail} * disk.f_frsize / (1 << 20);
    return kKeptFragmented;
  }
  AvioPtr inputIo = MakeFdIo(fd, false);
  AVFormatContext* rawIn = avformat_alloc_context();
  if (!inputIo || !rawIn) {
    avformat_free_context(rawIn);
    return fail("out of memory");
  }
  rawIn->pb = inputIo.get();
  if (avformat_open_input(&rawIn, nullptr, nullptr, nullptr) < 0) return fail("unreadable");  // frees rawIn
  InputFormatContextPtr input(rawIn);
  if (avformat_find_stream_info(rawIn, nullptr) < 0 || rawIn->nb_streams != 1) return fail("unreadable");

  // Held locked while it is written, so that a cleaner in another process leaves it alone.
  std::string temporaryName;
  UniqueFd temporary = CreateNewFile(folder, "." + name + std::string(kTemporarySuffix), &temporaryName);
  if (!temporary.valid() || !LockExclusive(temporary.get(), false)) return fail(std::strerror(errno));
  const std::string temporaryPath = folder + "/" + temporaryName;
  bool complete = false;
  {
    AvioPtr outputIo = MakeFdIo(temporary.get(), true);
    complete = outputIo && CopyPackets(rawIn, outputIo.get(), path);
  }
  complete = complete && ::fchmod(temporary.get(), original.st_mode & 07777) == 0 && ::fsync(temporary.get()) == 0;
  // Renamed only onto our own recording: never over a file or link put there meanwhile.
  if (complete && PathStillNames(path, fd) && ::rename(temporaryPath.c_str(), path.c_str()) == 0) {
    UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.valid()) ::fsync(folderFd.get());
    return 0;
  }
  ::unlink(temporaryPath.c_str());
  return fail(complete ? "the recording was moved or replaced" : "the copy failed");
}

int CutToWholeFragments(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return -1;
  const auto fileSize = static_cast<uint64_t>(info.st_size);
  // Top-level boxes: a size (32 bits, or 1 and 64 bits after the type, or 0 for "to the end")
  // and a type. What stands whole: the header boxes, and each moof with the mdat after it.
  uint64_t at = 0;
  uint64_t wholeEnd = 0;
  bool fragmentOpen = false;
  while (at + 8 <= fileSize) {
    uint8_t head[16];
    if (::pread(fd, head, sizeof head, static_cast<off_t>(at)) < 8) return -1;
    uint64_t size = (uint64_t{head[0]} << 24) | (uint64_t{head[1]} << 16) | (uint64_t{head[2]} << 8) | head[3];
    if (size == 1) {
      if (at + 16 > fileSize) break;
      size = 0;
      for (int i = 8; i < 16; ++i) size = (size << 8) | head[i];
    } else if (size == 0) {
      size = fileSize - at;
    }
    if (size < 8 || at + size > fileSize) break;  // cut short
    const std::string_view type(reinterpret_cast<const char*>(head + 4), 4);
    if (type == "moof") {
      fragmentOpen = true;
    } else if (type == "mdat") {
      fragmentOpen = false;
      wholeEnd = at + size;
    } else if (!fragmentOpen) {
      wholeEnd = at + size;
    }
    at += size;
  }
  if (wholeEnd == 0) return -1;
  if (wholeEnd == fileSize) return 0;
  if (::ftruncate(fd, static_cast<off_t>(wholeEnd)) != 0) return -1;
  LOG(INFO) << "fragmented MP4 cut back to its last whole fragment (" << wholeEnd << " of " << fileSize << " bytes)";
  return 1;
}

int RemoveRewriteLeftovers(const std::string& folder) {
  std::unique_ptr<DIR, DirDeleter> dir(::opendir(folder.c_str()));
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!IsRewriteTemporaryName(entry->d_name)) continue;
    UniqueFd leftover(::openat(dirfd(dir.get()), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    // A file a running rewrite holds is not a leftover; links and folders are not ours.
    if (!leftover.valid() || ::fstat(leftover.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        !LockExclusive(leftover.get(), false))
      continue;
    if (::unlinkat(dirfd(dir.get()), entry->d_name, 0) == 0) ++removed;
  }
  return removed;
}

}  // namespace zav
