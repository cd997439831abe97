#include "FolderWriteCheck.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "ConfigStore.h"
#include "StoredChoices.h"

namespace zav {
namespace {
// Names tried before giving up on a folder full of leftovers of that name.
constexpr int kMaxNameAttempts = 100;
}  // namespace

bool CanCreateFilesIn(const std::string& folder, const char* testName) {
  if (folder.empty()) return false;
  const std::string base = folder + (folder.back() == '/' ? "" : "/") + testName;
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    const std::string path = attempt == 0 ? base : base + "-" + std::to_string(attempt);
    int fd = -1;
    do {
      // O_EXCL: a file of that name, or a link of that name, is left untouched and never followed.
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    ::close(fd);
    ::unlink(path.c_str());
    return true;
  }
  return false;
}

FolderChoice StoreOutputFolderIfWritable(const std::string& folder, const char* testName) {
  if (!CanCreateFilesIn(folder, testName)) return FolderChoice::kNotWritable;
  return ConfigStore::Instance().WriteString(kGlobalSection, keys::kOutputFolder, folder) ? FolderChoice::kStored
                                                                                  : FolderChoice::kNotStored;
}

}  // namespace zav
