#include "TextUtil.h"

#include <cinttypes>
#include <cstdio>

namespace zav {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(char32_t cp, std::u16string* out) {
  if (cp < 0x10000) {
    out->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at text[*pos]; advances *pos. Overlong forms, surrogate code
// points, values above U+10FFFF and truncated sequences give U+FFFD for one byte and
// clear *valid.
char32_t DecodeUtf8(std::string_view text, std::size_t* pos, bool* valid) {
  const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byteAt(*pos);
  if (lead < 0x80) {
    ++*pos;
    return lead;
  }
  int length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07;
    minimum = 0x10000;
  } else {
    ++*pos;
    *valid = false;
    return kReplacement;
  }
  if (*pos + length > text.size()) {
    ++*pos;
    *valid = false;
    return kReplacement;
  }
  for (int i = 1; i < length; ++i) {
    const unsigned char next = byteAt(*pos + i);
    if ((next & 0xC0) != 0x80) {
      ++*pos;
      *valid = false;
      return kReplacement;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++*pos;
    *valid = false;
    return kReplacement;
  }
  *pos += length;
  return cp;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit == 0) break;
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                          (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      AppendUtf8(cp, &out);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(kReplacement, &out);
    } else {
      AppendUtf8(unit, &out);
    }
  }
  return out;
}

std::string ToNarrow(std::u16string_view text) { return ToUtf8(text); }

std::u16string ToWide(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  bool valid = true;
  while (pos < text.size() && text[pos] != '\0') {
    AppendUtf16(DecodeUtf8(text, &pos, &valid), &out);
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t pos = 0;
  bool valid = true;
  while (valid && pos < text.size()) DecodeUtf8(text, &pos, &valid);
  return valid;
}

std::string ReadableFileName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  std::size_t pos = 0;
  while (pos < name.size()) {
    const std::size_t start = pos;
    bool valid = true;
    const char32_t cp = DecodeUtf8(name, &pos, &valid);
    if (valid && cp >= 0x20 && cp != 0x7F) {
      out.append(name.substr(start, pos - start));
      continue;
    }
    for (std::size_t i = start; i < pos; ++i) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(name[i]));
      out += escaped;
    }
  }
  return out;
}

std::u16string CutUtf16(std::u16string_view text, std::size_t maxUnits) {
  if (text.size() <= maxUnits) return std::u16string(text);
  std::size_t length = maxUnits;
  if (length > 0 && IsHighSurrogate(text[length - 1])) --length;
  return std::u16string(text.substr(0, length));
}

std::string FormatFileSize(int64_t bytes) {
  char text[64];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%" PRId64 "B", bytes);
  } else if (bytes < (int64_t{1} << 20)) {
    std::snprintf(text, sizeof text, "%" PRId64 "KB", bytes >> 10);
  } else if (bytes < (int64_t{1} << 30)) {
    // Single precision on purpose: it rounds some sizes differently from double
    // (16792945 bytes shows as 16.01M, not 16.02M), and the shown texts follow it.
    const float megabytes = static_cast<float>(bytes) * (1.0f / 1048576.0f);
    std::snprintf(text, sizeof text, "%.2fM", static_cast<double>(megabytes));
  } else {
    const float gigabytes = static_cast<float>(bytes) * (1.0f / 1073741824.0f);
    std::snprintf(text, sizeof text, "%.2fG", static_cast<double>(gigabytes));
  }
  return text;
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

}  // namespace zav
