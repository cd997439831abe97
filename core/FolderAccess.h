#pragma once
// Whether new files can be made in a folder: the one judgement of writability, for the
// recordings folder and any folder the user picks. Touches the disk and may wait long on a dead
// network mount: call it on a worker thread.

#include <string>

namespace zav {

// The test file's name used by default.
inline constexpr char kWriteCheckFileName[] = "ZavAudioTmp";

// Creates a file in folder and removes it again. The file never replaces one that exists: the
// first free name of testName, testName + "-1", testName + "-2", ... is made with exclusive
// creation. False when the folder is missing, not a folder, or refuses new files.
bool CanCreateFilesIn(const std::string& folder, const char* testName = kWriteCheckFileName);

}  // namespace zav
