#include "RecordingName.h"

namespace zav {

std::string MakeRecordingFileName(std::time_t when, std::string_view extension) {
  std::tm local{};
  localtime_r(&when, &local);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
  return std::string("新录音-") + stamp + "." + std::string(extension);
}

}  // namespace zav
