#pragma once
// Text helpers. UI texts are UTF-16; the narrow encoding of file names is UTF-8 here.

#include <cstdint>
#include <string>
#include <string_view>

namespace zav {

// UTF-16 -> narrow (UTF-8); unpaired surrogates become U+FFFD. Stops at the first zero.
std::string ToNarrow(std::u16string_view text);
// UTF-16 -> UTF-8.
std::string ToUtf8(std::u16string_view text);
// Narrow (UTF-8) -> UTF-16; invalid bytes become U+FFFD. Stops at the first zero.
std::u16string ToWide(std::string_view text);

inline bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// At most maxUnits UTF-16 units of text. A surrogate pair that would be split is dropped
// whole, so the cut text stays valid UTF-16.
std::u16string CutUtf16(std::u16string_view text, std::size_t maxUnits);

// True when text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// A file name (bytes, as the file system has them) as text to show: valid UTF-8 stays as it
// is; a byte that is not part of valid UTF-8, and a control character, become "\xHH", so that
// a name in another encoding reads as itself rather than as replacement characters.
std::string ReadableFileName(std::string_view name);

// text without the given characters at either end.
std::string_view Trim(std::string_view text, std::string_view blanks = " \t");

// "%dB" (below 1024 and negative), "%dKB" (below 2^20), "%.2fM" (below 2^30), "%.2fG".
std::string FormatFileSize(int64_t bytes);

}  // namespace zav
