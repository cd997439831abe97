#pragma once
// The name of a new recording: a stem ("新录音" unless given) + "-" + local time
// "%Y%m%d%H%M%S" + "." + extension.

#include <ctime>
#include <string>
#include <string_view>

namespace zav {

inline constexpr std::string_view kDefaultRecordingStem = "新录音";

// stem: as FileStemOf gives it; empty for the default.
std::string MakeRecordingFileName(std::time_t when, std::string_view extension, std::string_view stem = {});

// A text (a scheduled job's name, UTF-8) made fit to begin a file name on any disk a
// recording may be copied to: characters that some file system does not take in names
// (/ \ : * ? " < > |, control characters) become "_", spaces and dots at either end go, and
// it is cut to at most kMaxStemBytes on a character's boundary. Empty when nothing is left.
inline constexpr std::size_t kMaxStemBytes = 180;
std::string FileStemOf(std::string_view text);

// The name to use when name is taken: "-" + n before the extension
// ("新录音-20261207224321.mp3", 2 -> "新录音-20261207224321-2.mp3"). n below 2 gives name.
std::string NumberedFileName(std::string_view name, int n);

}  // namespace zav
