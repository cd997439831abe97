#pragma once
// Where the program finds its skin: the folder "skin" beside the executable (build tree and
// portable copies), else the installed data folder. No Qt.

#include <filesystem>
#include <vector>

namespace zav {

// The first of exeDir/"skin" and installedFolders that holds "res.xml"; empty when none does.
std::filesystem::path FindSkinFolder(const std::filesystem::path& exeDir,
                                     const std::vector<std::filesystem::path>& installedFolders);

}  // namespace zav
