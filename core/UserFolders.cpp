#include "UserFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "AtomicFile.h"
#include "ConfigStore.h"

namespace zav {
namespace {

// The per-user tree holds settings and logs: private to the user, as XDG asks for its
// base folders. Recordings folders get the usual umask-governed mode.
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kSharedFolderMode = 0777;

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = EnvironmentValue("HOME");
  if (!home.empty()) return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    home = found->pw_dir;
  }
  return home;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void CreateMissingFolders(std::string_view path, mode_t mode) {
  std::vector<std::string_view> parts;
  for (std::size_t pos = 0; pos < path.size();) {
    const auto slash = path.find('/', pos);
    const auto end = slash == std::string_view::npos ? path.size() : slash;
    if (end > pos) parts.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  std::string current;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0 || path.starts_with('/')) current += '/';
    current += parts[i];
    if (::access(current.c_str(), F_OK) == 0) continue;
    if (::mkdir(current.c_str(), mode) == 0 || errno == EEXIST) continue;
    const bool last = i + 1 == parts.size();
    // Standard error, not output: a command-line front end prints its result there.
    std::fprintf(stderr, "%s%s\n", last ? "create dir error curPath: " : "create dir error fullPath: ",
                 current.c_str());
  }
}

std::string UserDir(std::string_view xdgName, std::string_view fallbackName) {
  const std::string home = HomeFolder();
  std::string text;
  if (ReadWholeFile(GetAppDataRoot() + "/user-dirs.dirs", &text) == ReadResult::kOk) {
    std::string folder = ParseXdgUserDir(text, xdgName, home);
    if (!folder.empty()) return folder;
  }
  if (home.empty()) return {};
  return home + "/" + std::string(fallbackName);
}

}  // namespace

std::string GetAppDataRoot() {
  // XDG: a relative $XDG_CONFIG_HOME is invalid and ignored.
  const std::string configHome = EnvironmentValue("XDG_CONFIG_HOME");
  if (configHome.starts_with('/')) return configHome;
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.config";
}

std::string GetUserFolder(std::string_view subPath) {
  const std::string folder = GetAppDataRoot() + "/" + std::string(subPath);
  CreateMissingFolders(folder, kPrivateFolderMode);
  return folder;
}

void EnsureDirectoryPath(std::string_view path) { CreateMissingFolders(path, kSharedFolderMode); }

std::string GetDocumentsFolder() { return UserDir("XDG_DOCUMENTS_DIR", "Documents"); }

std::string GetDesktopFolder() { return UserDir("XDG_DESKTOP_DIR", "Desktop"); }

std::string GetOutputFolder() {
  // The stored folder is used whole: a cut one would be a folder the user never chose. One
  // the file system refuses (too long, say) fails when a recording starts there.
  std::string folder = ConfigStore::Instance().ReadString("global", "output-dir");
  if (!folder.empty()) {
    EnsureDirectoryPath(folder);
    return folder;
  }
  std::string base = GetDocumentsFolder();
  if (base.empty() || !IsFolder(base)) base = GetDesktopFolder();
  folder = base + "/" + std::string(kOutputFolderName);
  EnsureDirectoryPath(folder);
  return folder;
}

}  // namespace zav
