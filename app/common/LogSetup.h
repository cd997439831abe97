#pragma once
// glog for the desktop program: program name "ZavAudioRecorder", one file per run in the Log
// folder named "log." + start date-time + "." + pid, every message written at once, at most
// 10 MB, logging stops when the disk is full, nothing on standard error.

#include <string>

namespace zav {

inline constexpr char kLogProgramName[] = "ZavAudioRecorder";
inline constexpr char kLogFilePrefix[] = "log.";

// Call once, before any LOG line.
void SetUpLogging(const std::string& logFolder);
void ShutDownLogging();

}  // namespace zav
