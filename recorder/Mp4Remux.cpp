#include "Mp4Remux.h"

#include <dirent.h>
#include <fcntl.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AtomicFile.h"
#include "FfmpegHandles.h"
#include "FileSink.h"

namespace zav {
namespace {

constexpr std::string_view kTemporarySuffix = ".zavtmp";

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
