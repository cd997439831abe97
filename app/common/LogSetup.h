#pragma once
// glog for both programs: one file per run in the Log folder named prefix + start date-time +
// "." + pid, every message written at once, at most 10 MB, logging stops when the disk is
// full, nothing on standard error.

#include <string>

namespace zav {

inline constexpr char kLogProgramName[] = "ZavAudioRecorder";
inline constexpr char kLogFilePrefix[] = "log.";

// Call once, before any LOG line. The desktop program's defaults name its files.
void SetUpLogging(const std::string& logFolder, const char* programName = kLogProgramName,
                  const char* filePrefix = kLogFilePrefix);
void ShutDownLogging();

}  // namespace zav
