#include "FolderAccess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "UniqueFd.h"

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
    UniqueFd fd;
    do {
      // O_EXCL: a file of that name, or a link of that name, is left untouched and never followed.
      fd = UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    } while (!fd.valid() && errno == EINTR);
    if (!fd.valid()) {
      if (errno == EEXIST) continue;
      return false;
    }
    fd.Reset();
    ::unlink(path.c_str());
    return true;
  }
  return false;
}

}  // namespace zav
