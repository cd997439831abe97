#include "ConfigStore.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "AtomicFile.h"
#include "IniLines.h"
#include "TextUtil.h"
#include "UserFolders.h"

namespace zav {
namespace {

constexpr std::string_view kIniFileName = "configure.ini";

// Collects written text into blocks, so that a large file is not written a line per call.
constexpr std::size_t kWriteBlockBytes = 64 * 1024;

// The current value of section/key in the file at path; false when the key, or a readable
// file, is missing.
bool ReadValue(const std::string& path, std::string_view section, std::string_view key,
               std::string* value) {
  UniqueFd fd;
  if (OpenForReading(path, &fd) != ReadResult::kOk) return false;
  ini::FileLines lines(fd.get());
  return ini::Lookup(lines, section, key, value) && !lines.failed();
}

// Writes into `out` the text of `in` (empty when not valid) with the edit applied.
bool WriteEdited(int in, int out, const ini::Edit& edit, std::string_view section, std::string_view key,
                 std::string_view value) {
  std::string block;
  const ini::TextSink sink = [&](std::string_view piece) {
    block.append(piece);
    if (block.size() < kWriteBlockBytes) return true;
    const bool written = WriteAll(out, block);
    block.clear();
    return written;
  };
  bool applied = false;
  if (in >= 0) {
    ini::FileLines lines(in);
    applied = ini::ApplyEdit(lines, edit, section, key, value, sink) && !lines.failed();
  } else {
    ini::TextLines lines({});
    applied = ini::ApplyEdit(lines, edit, section, key, value, sink);
  }
  return applied && WriteAll(out, block);
}

}  // namespace

ConfigStore& ConfigStore::Instance() {
  // Created once (thread-safe static initialisation), with its folders, and deliberately never
  // destroyed, so code running during static destruction can still reach it. A Config folder
  // removed while the program runs comes back at the next write.
  static ConfigStore* const store =
      new ConfigStore(GetUserFolder(kConfigSubFolder) + "/" + std::string(kIniFileName));
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
  // Never keeps half of a surrogate pair: it would turn into U+FFFD in a file name.
  const std::u16string cut = CutUtf16(text, bufferLength - 1);
  std::copy(cut.begin(), cut.end(), buffer);
  buffer[cut.size()] = u'\0';
  return !cut.empty();
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
  EnsureDirectoryPath(ParentFolder(path_));

  const ExclusiveFileLock lock(path_ + ".lock");
  if (!lock.locked()) return false;
  UniqueFd current;
  // A file that exists but cannot be read is left alone rather than overwritten.
  const ReadResult opened = OpenForReading(path_, &current);
  if (opened == ReadResult::kFailed) return false;
  ini::Edit edit;
  if (opened == ReadResult::kOk) {
    ini::FileLines lines(current.get());
    edit = ini::PlanEdit(lines, section, key);
    if (lines.failed() || ::lseek(current.get(), 0, SEEK_SET) != 0) return false;
  }
  return ReplaceFileAtomically(path_, [&](int out) {
    return WriteEdited(current.get(), out, edit, section, key, value);
  });
}

bool ConfigStore::WriteString(std::string_view section, std::string_view key,
                              std::u16string_view value) {
  return WriteString(section, key, std::string_view(ToUtf8(value)));
}

}  // namespace zav
