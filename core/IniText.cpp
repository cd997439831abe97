// Parsing and editing of ini text, with the read rules of the classic profile functions:
// names compare without regard to ASCII case, names and values are trimmed of blanks, one
// pair of matching quotes around a value is removed, the first matching key wins.
//
// Lines the store cannot read (not UTF-8, a zero byte, longer than kMaxLineBytes) are
// invisible to reads and kept byte for byte by writes.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "ConfigStore.h"
#include "IniLines.h"
#include "TextUtil.h"

namespace zav::ini {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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

// A line without its break: "\n", "\r\n", or a bare "\r" at the very end.
std::string_view Content(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

enum class LineKind { kOther, kSection, kKey };

struct Line {
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed and unquoted
};

// first: the line starts the text (and may carry a byte order mark).
Line Parse(std::string_view bytes, bool first) {
  Line line;
  std::string_view content = Content(bytes);
  if (!IsReadable(content)) return line;
  if (first && content.starts_with(kByteOrderMark)) content.remove_prefix(kByteOrderMark.size());
  const std::string_view trimmed = Trim(content);
  if (trimmed.empty() || trimmed.front() == ';') return line;
  if (trimmed.front() == '[') {
    line.kind = LineKind::kSection;
    const std::string_view inner = trimmed.substr(1);
    line.name = Trim(inner.substr(0, inner.find(']')));
  } else if (const auto equals = trimmed.find('='); equals != std::string_view::npos) {
    line.kind = LineKind::kKey;
    line.name = Trim(trimmed.substr(0, equals));
    line.value = Trim(trimmed.substr(equals + 1));
    if (IsQuoted(line.value)) line.value = line.value.substr(1, line.value.size() - 2);
  }
  return line;
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

// Room for the brackets, '=', quotes and a line break around names and values.
constexpr std::size_t kLineFramingBytes = 8;

}  // namespace

bool TextLines::Next(std::string_view* bytes, bool* whole) {
  if (text_.empty()) return false;
  const auto newline = text_.find('\n');
  *bytes = text_.substr(0, newline == std::string_view::npos ? text_.size() : newline + 1);
  *whole = bytes->size() <= kMaxLineBytes;
  text_.remove_prefix(bytes->size());
  return true;
}

bool FileLines::Next(std::string_view* bytes, bool* whole) {
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const std::size_t unread = end_ - begin_;
    const void* newline = unread > 0 ? std::memchr(start, '\n', unread) : nullptr;
    if (newline || (unread > 0 && (atEnd_ || end_ == buffer_.size()))) {
      // A line, the last one, or (a full buffer without a line feed) a piece of a long one.
      *bytes = std::string_view(start, newline ? static_cast<const char*>(newline) - start + 1 : unread);
      begin_ += bytes->size();
      const bool ended = newline || atEnd_;
      *whole = ended && !inLongLine_ && bytes->size() <= kMaxLineBytes;
      inLongLine_ = !ended;
      return true;
    }
    if (atEnd_) return false;
    std::memmove(buffer_.data(), start, unread);
    begin_ = 0;
    end_ = unread;
    const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      failed_ = got < 0;
      atEnd_ = true;
    } else {
      end_ += static_cast<std::size_t>(got);
    }
  }
}

bool Lookup(LineSource& lines, std::string_view section, std::string_view key, std::string* value) {
  section = Trim(section);
  key = Trim(key);
  bool inSection = false;
  bool first = true;
  std::string_view bytes;
  bool whole = false;
  while (lines.Next(&bytes, &whole)) {
    const bool isFirst = std::exchange(first, false);
    if (!whole) continue;
    const Line line = Parse(bytes, isFirst);
    if (line.kind == LineKind::kSection) {
      inSection = SameName(line.name, section);
    } else if (inSection && line.kind == LineKind::kKey && SameName(line.name, key)) {
      if (value) value->assign(line.value);
      return true;
    }
  }
  return false;
}

Edit PlanEdit(LineSource& lines, std::string_view section, std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  Edit edit;
  bool inSection = false;
  bool anchorOpen = false;  // inside the first section of that name: its keys move the anchor
  bool first = true;
  long index = -1;
  char lastByte = '\n';
  std::string_view bytes;
  bool whole = false;
  while (lines.Next(&bytes, &whole)) {
    const bool isFirst = std::exchange(first, false);
    lastByte = bytes.back();
    if (!whole) continue;
    ++index;
    const Line line = Parse(bytes, isFirst);
    if (line.kind == LineKind::kSection) {
      anchorOpen = false;
      inSection = SameName(line.name, section);
      if (inSection && edit.anchorLine < 0) {
        anchorOpen = true;
        edit.anchorLine = index;
        edit.anchorHasBreak = lastByte == '\n';
      }
    } else if (line.kind == LineKind::kKey) {
      if (inSection && SameName(line.name, key)) {
        edit.keyLine = index;
        return edit;
      }
      if (anchorOpen) {
        edit.anchorLine = index;
        edit.anchorHasBreak = lastByte == '\n';
      }
    }
  }
  edit.endsWithBreak = lastByte == '\n';
  return edit;
}

bool ApplyEdit(LineSource& lines, const Edit& edit, std::string_view section, std::string_view key,
               std::string_view value, const TextSink& sink) {
  section = Trim(section);
  const std::string keyLine = std::string(Trim(key)) + "=" + EncodeValue(value);
  const long target = edit.keyLine >= 0 ? edit.keyLine : edit.anchorLine;
  bool done = target < 0;
  long index = -1;
  std::string_view bytes;
  bool whole = false;
  while (lines.Next(&bytes, &whole)) {
    if (whole) ++index;
    if (!whole || index != target) {
      if (!sink(bytes)) return false;
      continue;
    }
    done = true;
    if (edit.keyLine >= 0) {
      if (!sink(keyLine) || !sink(bytes.substr(Content(bytes).size()))) return false;
    } else if (!sink(bytes) || !sink(edit.anchorHasBreak ? keyLine + "\n" : "\n" + keyLine)) {
      // A last line may end in a bare carriage return and no line feed: it still needs one.
      return false;
    }
  }
  if (target < 0) {
    if (!edit.endsWithBreak && !sink("\n")) return false;
    if (!sink("[" + std::string(section) + "]\n" + keyLine + "\n")) return false;
  }
  return done;  // false: the text was shorter than the first pass saw
}

bool Lookup(std::string_view text, std::string_view section, std::string_view key,
            std::string* value) {
  TextLines lines(text);
  return Lookup(lines, section, key, value);
}

bool CanStore(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view trimmedSection = Trim(section);
  const std::string_view trimmedKey = Trim(key);
  if (trimmedSection.empty() || trimmedKey.empty()) return false;
  if (HasLineBreakOrZero(section) || HasLineBreakOrZero(key) || HasLineBreakOrZero(value)) {
    return false;
  }
  if (section.size() + kLineFramingBytes > kMaxLineBytes ||
      key.size() + value.size() + kLineFramingBytes > kMaxLineBytes) {
    return false;  // could not be read back
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
  TextLines planning(text);
  const Edit edit = PlanEdit(planning, section, key);
  std::string result;
  result.reserve(text.size() + key.size() + value.size() + section.size() + kLineFramingBytes);
  TextLines lines(text);
  ApplyEdit(lines, edit, section, key, value, [&result](std::string_view piece) {
    result.append(piece);
    return true;
  });
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

}  // namespace zav::ini
