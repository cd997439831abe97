#pragma once
// Whether new files can be made in a folder. Touches the disk and may wait long on a dead
// network mount: call it on a worker thread.

#include <string>

namespace zav {

// The test file's name: the settings dialog's, and the main window's folder field's.
inline constexpr char kWriteCheckFileName[] = "ZavAudioTmp";
inline constexpr char kMainWindowWriteCheckFileName[] = "ZavAudioRecorderTmp";

// Creates a file in folder and removes it again. The file never replaces one that exists: the
// first free name of testName, testName + "-1", testName + "-2", ... is made with exclusive
// creation. False when the folder is missing, not a folder, or refuses new files.
bool CanCreateFilesIn(const std::string& folder, const char* testName = kWriteCheckFileName);

enum class FolderChoice {
  kStored,       // the folder takes new files and is stored as "output-dir"
  kNotWritable,  // it refuses new files: nothing changes
  kNotStored,    // it takes new files, but the settings file cannot be written
};

// A folder the user chose for recordings: stored as "output-dir" when new files can be made in
// it (tested with testName).
FolderChoice StoreOutputFolderIfWritable(const std::string& folder, const char* testName);

}  // namespace zav
