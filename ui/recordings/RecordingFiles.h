#pragma once
// The recordings of a folder, as the recordings list shows them. No Qt, no window: the scan,
// the description of a new recording and the reading of durations run on worker threads.
// Names and paths are bytes, exactly as the file system has them (not necessarily UTF-8).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "MediaDuration.h"

namespace zav {

// True when the text after the last "." of fileName is one of the extensions the program
// records: "mp3", "MP3", "m4a", "M4A", "wav", "WAV" (other mixed cases are not).
bool IsRecognisedRecording(std::string_view fileName);

// Names of the regular files of folder whose extension is recognised, sorted by name, which
// for the program's own recordings is the order they were made in. Empty when the folder
// cannot be read.
std::vector<std::string> ListRecordingFiles(const std::string& folder);

// One row of the list, made off the UI thread. Its duration is read afterwards.
struct RecordingFile {
  std::string folder;
  std::string fileName;
  std::string fullPath;  // folder + "/" + fileName
  int64_t size = 0;      // bytes; 0 when the file cannot be read
};

// Reads the size: one stat, so that a row can be shown at once.
RecordingFile DescribeRecording(const std::string& folder, const std::string& fileName);

// The playing time of a listed recording. A WAV whose size fields a recording cut short left
// as placeholders is repaired first, so it lists (and plays) with all its audio; nothing else
// is ever written.
DurationResult ReadRecordingDuration(const std::string& fullPath, const DurationLimits& limits, double* seconds);

}  // namespace zav
