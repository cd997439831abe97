#include "RecordingName.h"

namespace zav {

std::string MakeRecordingFileName(std::time_t when, std::string_view extension) {
  std::tm local{};
  localtime_r(&when, &local);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
  return std::string("新录音-") + stamp + "." + std::string(extension);
}

std::string NumberedFileName(std::string_view name, int n) {
  if (n < 2) return std::string(name);
  const auto dot = name.rfind('.');
  const std::size_t stemEnd = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
  return std::string(name.substr(0, stemEnd)) + "-" + std::to_string(n) + std::string(name.substr(stemEnd));
}

}  // namespace zav
