#pragma once
// A folder the user picks for recordings, stored when new files can be made in it. Touches the
// disk and may wait long on a dead network mount: call it on a worker thread.

#include <string>

#include "FolderAccess.h"

namespace zav {

// The test file's name of the main window's folder field (the settings dialog's is
// kWriteCheckFileName).
inline constexpr char kMainWindowWriteCheckFileName[] = "ZavAudioRecorderTmp";

enum class FolderChoice {
  kStored,       // the folder takes new files and is stored as "output-dir"
  kNotWritable,  // it refuses new files: nothing changes
  kNotStored,    // it takes new files, but the settings file cannot be written
};

// A folder the user chose for recordings: stored as "output-dir" when new files can be made in
// it (tested with testName).
FolderChoice StoreOutputFolderIfWritable(const std::string& folder, const char* testName);

}  // namespace zav
