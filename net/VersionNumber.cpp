#include "VersionNumber.h"

#include <array>
#include <climits>

namespace zav {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<int> ReadLeadingInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || !IsDigit(text[i])) return std::nullopt;
  long long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<Version> ParseVersion(std::string_view text) {
  std::array<int, 3> numbers{};
  size_t found = 0;
  while (found < numbers.size() && !text.empty()) {
    const size_t dot = text.find('.');
    const std::string_view piece = text.substr(0, dot);
    text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (piece.empty()) continue;
    const auto number = ReadLeadingInt(piece);
    if (!number) return std::nullopt;
    numbers[found++] = *number;
  }
  if (found < numbers.size()) return std::nullopt;
  return Version{numbers[0], numbers[1], numbers[2]};
}

bool IsNewer(const Version& remote, const Version& local) {
  if (remote.major != local.major) return remote.major > local.major;
  if (remote.minor != local.minor) return remote.minor > local.minor;
  return remote.revision > local.revision;
}

}  // namespace zav
