#include "SkinLocator.h"

#include <system_error>

namespace zav {

std::filesystem::path FindSkinFolder(const std::filesystem::path& exeDir,
                                     const std::vector<std::filesystem::path>& installedFolders) {
  std::vector<std::filesystem::path> candidates{exeDir / "skin"};
  candidates.insert(candidates.end(), installedFolders.begin(), installedFolders.end());
  for (const auto& folder : candidates) {
    std::error_code ec;
    if (!folder.empty() && std::filesystem::is_regular_file(folder / "res.xml", ec)) {
      return folder.lexically_normal();
    }
  }
  return {};
}

}  // namespace zav
