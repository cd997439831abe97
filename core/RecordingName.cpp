#include "RecordingName.h"

namespace zav {

std::string MakeRecordingFileName(std::time_t when, std::string_view extension, std::string_view stem) {
  std::tm local{};
  localtime_r(&when, &local);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
  return std::string(stem.empty() ? kDefaultRecordingStem : stem) + "-" + stamp + "." + std::string(extension);
}

std::string FileStemOf(std::string_view text) {
  std::string stem;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool refused = byte < 0x20 || byte == 0x7f || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
    stem += refused ? '_' : c;
  }
  const auto trimmed = [](char c) { return c == ' ' || c == '.'; };
  while (!stem.empty() && trimmed(stem.back())) stem.pop_back();
  std::size_t first = 0;
  while (first < stem.size() && trimmed(stem[first])) ++first;
  stem.erase(0, first);
  if (stem.size() > kMaxStemBytes) {
    std::size_t cut = kMaxStemBytes;
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    stem.resize(cut);
    while (!stem.empty() && trimmed(stem.back())) stem.pop_back();
  }
  return stem;
}

std::string NumberedFileName(std::string_view name, int n) {
  if (n < 2) return std::string(name);
  const auto dot = name.rfind('.');
  const std::size_t stemEnd = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
  return std::string(name.substr(0, stemEnd)) + "-" + std::to_string(n) + std::string(name.substr(stemEnd));
}

}  // namespace zav
