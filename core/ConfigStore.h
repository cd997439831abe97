#pragma once
// The process-wide settings store over "configure.ini" in the per-user Config folder.
//
// Read semantics follow the classic profile functions: a missing key (or a missing,
// unreadable or corrupt file) gives the caller's default; an integer read parses the
// leading decimal number of the value. Writes replace the file atomically (temporary
// file + rename) under an advisory lock, so a crash never leaves a torn ini and
// concurrent writers in several threads or processes lose no key. A write changes one
// line and keeps every other byte, lines the store cannot read included. The file is read
// a line at a time: its size costs time, not memory.
//
// Any thread may call any member.

#include <cstddef>
#include <string>
#include <string_view>

namespace zav {

class ConfigStore {
 public:
  // The store of this process. Every call re-creates the Config folder if it vanished.
  static ConfigStore& Instance();

  // A store over an explicit file (tests, tools).
  explicit ConfigStore(std::string iniPath);

  int ReadInt(std::string_view section, std::string_view key, int defaultValue) const;

  // Copies at most bufferLength - 1 UTF-16 units of the value (or of defaultValue when
  // the key is missing) into buffer, zero-terminated. True when the copied text is not empty.
  bool ReadString(std::string_view section, std::string_view key, std::u16string_view defaultValue,
                  char16_t* buffer, std::size_t bufferLength) const;

  // Convenience: the value as UTF-8, or defaultValue when the key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue = {}) const;

  // Writes value (UTF-8) under section/key. True on success.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteString(std::string_view section, std::string_view key, std::u16string_view value);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The pure part: parsing and editing ini text. No file access.
namespace ini {
// Value of section/key in text; nullopt-like: returns false when missing.
bool Lookup(std::string_view text, std::string_view section, std::string_view key, std::string* value);
// text with section/key set to value (section appended when missing).
std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);
// The leading integer of value as the profile functions read it (sign, digits; else 0).
// Values beyond the int range saturate.
int ParseLeadingInt(std::string_view value);
// False for names and values that would break the line structure of the file (line breaks,
// zero bytes, '=' in a key, ']' in a section, empty names, lines too long to be read back).
// Such writes are refused.
bool CanStore(std::string_view section, std::string_view key, std::string_view value);
}  // namespace ini

}  // namespace zav
