#pragma once
// Per-user folders: $XDG_CONFIG_HOME (default ~/.config) + "/ZavAudioRecorder/{Config,Data,Log,Temp}",
// the recordings folder and recursive folder creation.

#include <string>
#include <string_view>

namespace zav {

// Root of the per-user tree ($XDG_CONFIG_HOME or ~/.config); empty when neither resolves.
std::string GetAppDataRoot();

// root + "/" + subPath (such as "ZavAudioRecorder/Config"), after creating every missing folder.
std::string GetUserFolder(std::string_view subPath);

// Creates every missing folder of an absolute path. A folder that cannot be created prints
// "create dir error fullPath: " (inner) or "create dir error curPath: " (last) to standard
// error and goes on.
void EnsureDirectoryPath(std::string_view path);

// The user's Documents folder (XDG), empty when unknown; and the Desktop folder.
// Both come from root + "/user-dirs.dirs", else ~/Documents and ~/Desktop.
std::string GetDocumentsFolder();
std::string GetDesktopFolder();

// The folder that a user-dirs.dirs text assigns to name (such as "XDG_DOCUMENTS_DIR"), with
// "$HOME" expanded to home; empty when the entry is missing or not an absolute path.
std::string ParseXdgUserDir(std::string_view userDirsText, std::string_view name,
                            std::string_view home);

// Where recordings are written and listed: "output-dir" as stored, or Documents (else
// Desktop) + "/ZAV电脑录音". Created when missing; the default is not stored.
std::string GetOutputFolder();

inline constexpr std::string_view kAppFolder = "ZavAudioRecorder";
inline constexpr std::string_view kConfigSubFolder = "ZavAudioRecorder/Config";
inline constexpr std::string_view kDataSubFolder = "ZavAudioRecorder/Data";
inline constexpr std::string_view kLogSubFolder = "ZavAudioRecorder/Log";
inline constexpr std::string_view kTempSubFolder = "ZavAudioRecorder/Temp";
inline constexpr std::string_view kOutputFolderName = "ZAV电脑录音";

}  // namespace zav
