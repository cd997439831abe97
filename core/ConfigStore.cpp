#include "ConfigStore.h"

#include <algorithm>
#include <utility>

#include "AtomicFile.h"
#include "TextUtil.h"
#include "UserFolders.h"

namespace zav {
namespace {

constexpr std::string_view kIniFileName = "configure.ini";

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The current value of section/key in the file at path; false when the key, or a readable
// file, is missing.
bool ReadValue(const std::string& path, std::string_view section, std::string_view key,
               std::string* value) {
  std::string text;
  if (ReadWholeFile(path, &text) != ReadResult::kOk) return false;
  return ini::Lookup(text, section, key, value);
}

std::string ParentFolder(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

ConfigStore& ConfigStore::Instance() {
  // Runs every time so that a Config folder removed while the program runs comes back.
  const std::string folder = GetUserFolder(kConfigSubFolder);
  // Created once (thread-safe static initialisation) and deliberately never destroyed, so
  // code running during static destruction can still reach it.
  static ConfigStore* const store = new ConfigStore(folder + "/" + std::string(kIniFileName));
  return *store;
}

ConfigStore::ConfigStore(std::string iniPath) : path_(std::move(iniPath)) {}

int ConfigStore::ReadInt(std::string_view section, std::string_view key, int defaultValue) const {
  std::string value;
  // An empty value counts as missing, as with the profile functions.
  if (!ReadValue(path_, section, key, &value) || value.empty()) return defaultValue;
  return ini::ParseLeadingInt(value);
}

bool ConfigStore::ReadString(std::string_view section, std::string_view key,
                             std::u16string_view defaultValue, char16_t* buffer,
                             std::size_t bufferLength) const {
  if (buffer == nullptr || bufferLength == 0) return false;
  std::string value;
  const std::u16string text =
      ReadValue(path_, section, key, &value) ? ToWide(value) : std::u16string(defaultValue);
  std::size_t count = std::min(text.size(), bufferLength - 1);
  // Never keep half of a surrogate pair: it would turn into U+FFFD in a file name.
  if (count > 0 && count < text.size() && IsHighSurrogate(text[count - 1])) --count;
  std::copy_n(text.begin(), count, buffer);
  buffer[count] = u'\0';
  return count > 0;
}

std::string ConfigStore::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
  std::string value;
  if (!ReadValue(path_, section, key, &value)) return std::string(defaultValue);
  return value;
}

bool ConfigStore::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  if (!ini::CanStore(section, key, value)) return false;
  const std::string folder = ParentFolder(path_);
  if (!folder.empty()) EnsureDirectoryPath(folder);

  const ExclusiveFileLock lock(path_ + ".lock");
  if (!lock.locked()) return false;
  std::string text;
  // A file that exists but cannot be read is left alone rather than overwritten.
  if (ReadWholeFile(path_, &text) == ReadResult::kFailed) return false;
  const std::string updated = ini::SetValue(ini::DropUnreadableLines(text), section, key, value);
  return ReplaceFileAtomically(path_, updated);
}

bool ConfigStore::WriteString(std::string_view section, std::string_view key,
                              std::u16string_view value) {
  return WriteString(section, key, std::string_view(ToUtf8(value)));
}

}  // namespace zav
