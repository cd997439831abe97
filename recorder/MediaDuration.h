#pragma once
// The playing time of a recording, for the recordings list. Reading it never writes the file,
// and it is bounded: in bytes read (a large file that is not audio is not read whole), in time,
// and by a cancel flag that stops it at once.

#include <atomic>
#include <chrono>
#include <string>

namespace zav {

struct DurationLimits {
  std::chrono::milliseconds time{10000};
  // Checked while the file is read; when it turns true the read ends at once.
  const std::atomic<bool>* cancel = nullptr;
};

enum class DurationResult {
  kRead,       // *seconds holds the playing time
  kUnknown,    // not a media file, no duration in it, or more to read than a duration needs
  kOutOfTime,  // limits.time passed first (a slow disk, a huge file)
  kCancelled,  // *limits.cancel turned true
};

// Reads the playing time of the file at path (bytes, as the file system has it). *seconds is
// set only with kRead.
DurationResult ReadMediaDuration(const std::string& path, const DurationLimits& limits, double* seconds);

// The same with the default limits and no cancel flag: seconds, or -1 when it cannot be read.
double ReadMediaDuration(const std::string& path);

}  // namespace zav
