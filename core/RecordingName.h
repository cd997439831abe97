#pragma once
// The name of a new recording: "新录音-" + local time "%Y%m%d%H%M%S" + "." + extension.

#include <ctime>
#include <string>
#include <string_view>

namespace zav {

std::string MakeRecordingFileName(std::time_t when, std::string_view extension);

}  // namespace zav
