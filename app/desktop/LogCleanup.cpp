#include "LogCleanup.h"

#include <ctime>
#include <system_error>

namespace zav {

namespace {
constexpr std::size_t kPrefixLength = 4;  // "log."
constexpr std::size_t kDateLength = 8;    // YYYYMMDD
}  // namespace

std::string TodayDateStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  const std::size_t n = std::strftime(text, sizeof text, "%Y%m%d", &local);
  return std::string(text, n);
}

bool IsLogOfAnotherDay(std::string_view fileName, std::string_view today) {
  if (fileName.size() < kPrefixLength) return true;
  return fileName.substr(kPrefixLength, kDateLength) != today;
}

int RemoveOldLogFiles(const std::filesystem::path& folder, std::string_view today) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return 0;
  int removed = 0;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const fs::path path = it->path();
    std::error_code statusError;
    // symlink_status: a link to a folder is a file of ours and may go; a real folder never.
    if (fs::is_directory(fs::symlink_status(path, statusError))) continue;
    if (statusError || !IsLogOfAnotherDay(path.filename().string(), today)) continue;
    std::error_code removeError;
    if (fs::remove(path, removeError)) ++removed;
  }
  return removed;
}

}  // namespace zav
