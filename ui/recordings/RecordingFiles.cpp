#include "RecordingFiles.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "WavFile.h"

namespace zav {

bool IsRecognisedRecording(std::string_view fileName) {
  static constexpr std::array<std::string_view, 6> kExtensions = {"mp3", "MP3", "m4a", "M4A", "wav", "WAV"};
  const auto dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view extension = fileName.substr(dot + 1);
  return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

std::vector<std::string> ListRecordingFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  if (error) return names;
  for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
    if (error) break;
    const std::string name = it->path().filename().string();
    // A folder that happens to be named like a recording is not one.
    if (!IsRecognisedRecording(name) || !it->is_regular_file(error)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

RecordingFile DescribeRecording(const std::string& folder, const std::string& fileName) {
  RecordingFile file;
  file.folder = folder;
  file.fileName = fileName;
  file.fullPath = folder + "/" + fileName;
  std::error_code error;
  const auto size = std::filesystem::file_size(file.fullPath, error);
  file.size = error ? 0 : static_cast<int64_t>(size);
  return file;
}

DurationResult ReadRecordingDuration(const std::string& fullPath, const DurationLimits& limits, double* seconds) {
  // Opening a FIFO put in a recording's place since the scan would wait for a writer, beyond
  // the reach of the read's limits.
  struct stat info {};
  if (::stat(fullPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return DurationResult::kUnknown;
  const auto dot = fullPath.rfind('.');
  if (dot != std::string::npos && strcasecmp(fullPath.c_str() + dot + 1, "wav") == 0) RepairUnpatchedWav(fullPath);
  return ReadMediaDuration(fullPath, limits, seconds);
}

}  // namespace zav
