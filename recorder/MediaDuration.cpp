#include "MediaDuration.h"

#include <cstring>

#include "FfmpegHandles.h"

namespace zav {
namespace {

// What a duration may read. Opening reads the format's header, which for an mp3 includes its
// ID3 tag (cover pictures of several MB).
constexpr int64_t kOpenReadBytes = 64 << 20;
// After the header, a stream format (mp3, wav) has its duration in its first frames; a file of
// those that is not audio (zeros, say) would otherwise be read whole, and the mp3 parser keeps
// all of it in memory while it looks for a frame.
constexpr int64_t kStreamReadBytes = 2 << 20;
// An MP4 cut short while it was recorded is fragmented: its index is spread over the whole
// file, which is read at the speed of the disk; the time limit bounds it.
constexpr int64_t kFragmentedReadBytes = int64_t{1} << 30;
// Format probing and stream analysis: enough for every format we record.
constexpr char kProbeBytes[] = "1048576";
constexpr char kAnalyzeMicroseconds[] = "1000000";

struct ReadBudget {
  const AVFormatContext* input = nullptr;
  std::chrono::steady_clock::time_point deadline;
  const std::atomic<bool>* cancel = nullptr;
  int64_t readBytes = kOpenReadBytes;
  DurationResult stoppedBy = DurationResult::kRead;
};

int64_t AnalysisBytesFor(const AVInputFormat* format) {
  return format && format->name && std::strstr(format->name, "mp4") ? kFragmentedReadBytes : kStreamReadBytes;
}

// FFmpeg asks before every read and in its analysis loops; non-zero ends the operation.
int StopReading(void* opaque) {
  auto* budget = static_cast<ReadBudget*>(opaque);
  if (budget->stoppedBy != DurationResult::kRead) return 1;
  if (budget->cancel && budget->cancel->load(std::memory_order_relaxed)) {
    budget->stoppedBy = DurationResult::kCancelled;
  } else if (std::chrono::steady_clock::now() >= budget->deadline) {
    budget->stoppedBy = DurationResult::kOutOfTime;
  } else if (budget->input->pb && budget->input->pb->bytes_read > budget->readBytes) {
    budget->stoppedBy = DurationResult::kUnknown;
  }
  return budget->stoppedBy == DurationResult::kRead ? 0 : 1;
}

}  // namespace

DurationResult ReadMediaDuration(const std::string& path, const DurationLimits& limits, double* seconds) {
  ReadBudget budget;
  budget.deadline = std::chrono::steady_clock::now() + limits.time;
  budget.cancel = limits.cancel;
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) return DurationResult::kUnknown;
  budget.input = raw;
  raw->interrupt_callback = {&StopReading, &budget};
  AVDictionary* rawOptions = nullptr;
  av_dict_set(&rawOptions, "probesize", kProbeBytes, 0);
  av_dict_set(&rawOptions, "analyzeduration", kAnalyzeMicroseconds, 0);
  // Timing an MPEG stream from its last packets means reading from the end backwards.
  av_dict_set(&rawOptions, "skip_estimate_duration_from_pts", "1", 0);
  // "file:" so that no part of a file name is taken for another protocol.
  const int opened = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, &rawOptions);
  av_dict_free(&rawOptions);
  if (opened < 0) {
    // avformat_open_input freed the context.
    return budget.stoppedBy == DurationResult::kRead ? DurationResult::kUnknown : budget.stoppedBy;
  }
  InputFormatContextPtr input(raw);
  budget.readBytes = (raw->pb ? raw->pb->bytes_read : 0) + AnalysisBytesFor(raw->iformat);
  const int analysed = avformat_find_stream_info(raw, nullptr);
  // An analysis that was stopped still answers, with what it saw by then: not a duration.
  if (budget.stoppedBy != DurationResult::kRead) return budget.stoppedBy;
  if (analysed < 0 || raw->duration == AV_NOPTS_VALUE || raw->duration < 0) return DurationResult::kUnknown;
  *seconds = static_cast<double>(raw->duration) / AV_TIME_BASE;
  return DurationResult::kRead;
}

double ReadMediaDuration(const std::string& path) {
  double seconds = -1;
  return ReadMediaDuration(path, DurationLimits{}, &seconds) == DurationResult::kRead ? seconds : -1;
}

}  // namespace zav
