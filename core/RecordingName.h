#pragma once
// The name of a new recording: "新录音-" + local time "%Y%m%d%H%M%S" + "." + extension.

#include <ctime>
#include <string>
#include <string_view>

namespace zav {

std::string MakeRecordingFileName(std::time_t when, std::string_view extension);

// The name to use when name is taken: "-" + n before the extension
// ("新录音-20261207224321.mp3", 2 -> "新录音-20261207224321-2.mp3"). n below 2 gives name.
std::string NumberedFileName(std::string_view name, int n);

}  // namespace zav
