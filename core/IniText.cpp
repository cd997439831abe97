// Parsing and editing of ini text, with the read rules of the classic profile functions:
// names compare without regard to ASCII case, names and values are trimmed of blanks, one
// pair of matching quotes around a value is removed, the first matching key wins.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "ConfigStore.h"
#include "TextUtil.h"

namespace zav::ini {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) { return zav::Trim(text, kBlanks); }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool IsQuoted(std::string_view value) {
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
         value.back() == value.front();
}

bool IsReadable(std::string_view line) {
  return line.find('\0') == std::string_view::npos && IsValidUtf8(line);
}

enum class LineKind { kOther, kUnreadable, kSection, kKey };

struct Line {
  LineKind kind = LineKind::kOther;
  std::size_t begin = 0;       // offset of the first byte of the line
  std::size_t contentEnd = 0;  // offset past the content, before "\r\n" or "\n"
  std::size_t end = 0;         // offset past the line break (or the end of text)
  std::string_view name;       // section or key name, trimmed
  std::string_view value;      // key value, trimmed and unquoted
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    line.begin = pos;
    const auto newline = text.find('\n', pos);
    line.end = newline == std::string_view::npos ? text.size() : newline + 1;
    line.contentEnd = newline == std::string_view::npos ? text.size() : newline;
    if (line.contentEnd > line.begin && text[line.contentEnd - 1] == '\r') --line.contentEnd;
    pos = line.end;

    std::string_view content = text.substr(line.begin, line.contentEnd - line.begin);
    if (!IsReadable(content)) {
      line.kind = LineKind::kUnreadable;
      lines.push_back(line);
      continue;
    }
    if (line.begin == 0 && content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
    const std::string_view trimmed = Trim(content);
    if (trimmed.empty() || trimmed.front() == ';') {
      line.kind = LineKind::kOther;
    } else if (trimmed.front() == '[') {
      line.kind = LineKind::kSection;
      const std::string_view inner = trimmed.substr(1);
      line.name = Trim(inner.substr(0, inner.find(']')));
    } else if (const auto equals = trimmed.find('='); equals != std::string_view::npos) {
      line.kind = LineKind::kKey;
      line.name = Trim(trimmed.substr(0, equals));
      line.value = Trim(trimmed.substr(equals + 1));
      if (IsQuoted(line.value)) line.value = line.value.substr(1, line.value.size() - 2);
    }
    lines.push_back(line);
  }
  return lines;
}

// Index of the first key line named key inside a section named section, or -1.
int FindKey(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (line.kind == LineKind::kSection) {
      inSection = SameName(line.name, section);
    } else if (inSection && line.kind == LineKind::kKey && SameName(line.name, key)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// The value as it must stand in the file so that a read gives it back unchanged.
std::string EncodeValue(std::string_view value) {
  if (Trim(value).size() != value.size() || IsQuoted(value)) {
    return "\"" + std::string(value) + "\"";
  }
  return std::string(value);
}

bool HasLineBreakOrZero(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

bool Lookup(std::string_view text, std::string_view section, std::string_view key,
            std::string* value) {
  const auto lines = SplitLines(text);
  const int index = FindKey(lines, Trim(section), Trim(key));
  if (index < 0) return false;
  if (value) value->assign(lines[index].value);
  return true;
}

bool CanStore(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view trimmedSection = Trim(section);
  const std::string_view trimmedKey = Trim(key);
  if (trimmedSection.empty() || trimmedKey.empty()) return false;
  if (HasLineBreakOrZero(section) || HasLineBreakOrZero(key) || HasLineBreakOrZero(value)) {
    return false;
  }
  if (trimmedSection.find(']') != std::string_view::npos) return false;
  if (trimmedKey.find('=') != std::string_view::npos || trimmedKey.front() == '[' ||
      trimmedKey.front() == ';') {
    return false;
  }
  return IsValidUtf8(section) && IsValidUtf8(key) && IsValidUtf8(value);
}

std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
  if (!CanStore(section, key, value)) return std::string(text);
  section = Trim(section);
  key = Trim(key);
  const std::string keyLine = std::string(key) + "=" + EncodeValue(value);
  const auto lines = SplitLines(text);

  std::string result(text);
  if (const int index = FindKey(lines, section, key); index >= 0) {
    const Line& line = lines[index];
    result.replace(line.begin, line.contentEnd - line.begin, keyLine);
    return result;
  }

  // New key: after the last key of the first section of that name.
  int anchor = -1;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != LineKind::kSection || !SameName(lines[i].name, section)) continue;
    anchor = static_cast<int>(i);
    for (std::size_t j = i + 1; j < lines.size() && lines[j].kind != LineKind::kSection; ++j) {
      if (lines[j].kind == LineKind::kKey) anchor = static_cast<int>(j);
    }
    break;
  }
  if (anchor >= 0) {
    const Line& line = lines[anchor];
    // A last line may end in a bare carriage return and no line feed: it still needs one.
    const bool hasBreak = line.end > line.begin && text[line.end - 1] == '\n';
    result.insert(line.end, hasBreak ? keyLine + "\n" : "\n" + keyLine);
    return result;
  }

  if (!result.empty() && result.back() != '\n') result += '\n';
  result += "[" + std::string(section) + "]\n" + keyLine + "\n";
  return result;
}

int ParseLeadingInt(std::string_view value) {
  value = value.substr(std::min(value.size(), value.find_first_not_of(kBlanks)));
  bool negative = false;
  if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
    negative = value.front() == '-';
    value.remove_prefix(1);
  }
  int64_t magnitude = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') break;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > int64_t{INT_MAX} + 1) magnitude = int64_t{INT_MAX} + 1;  // saturate
  }
  const int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT_MAX) return INT_MAX;
  return static_cast<int>(signedValue);
}

std::string DropUnreadableLines(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (const Line& line : SplitLines(text)) {
    if (line.kind != LineKind::kUnreadable) {
      result.append(text.substr(line.begin, line.end - line.begin));
    }
  }
  return result;
}

}  // namespace zav::ini
