#pragma once
// The recordings of a folder, as the recordings list shows them. No Qt, no window: the scan
// and the description of a new recording run on a worker thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zav {

// True when the text after the last "." of fileName is one of the extensions the program
// records: "mp3", "MP3", "m4a", "M4A", "wav", "WAV" (other mixed cases are not).
bool IsRecognisedRecording(std::string_view fileName);

// Names of the regular files of folder whose extension is recognised, sorted by name, which
// for the program's own recordings is the order they were made in. Empty when the folder
// cannot be read.
std::vector<std::string> ListRecordingFiles(const std::string& folder);

// One row of the list, made off the UI thread.
struct RecordingFile {
  std::string folder;
  std::string fileName;
  std::string fullPath;  // folder + "/" + fileName
  int64_t size = 0;      // bytes; 0 when the file cannot be read
  double seconds = -1;   // playing time; -1 when it cannot be read
};

// Reads the size and the playing time (repairing a WAV left unpatched by a crash first).
RecordingFile DescribeRecording(const std::string& folder, const std::string& fileName);

}  // namespace zav
