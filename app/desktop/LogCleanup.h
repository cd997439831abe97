#pragma once
// Start-up clean-up of the Log folder: every file that was not opened today goes.
// Log files are named "log." + YYYYMMDD-HHMMSS + "." + pid, so characters 5 to 12 of a name
// are the day it was opened. No Qt.

#include <filesystem>
#include <string>
#include <string_view>

namespace zav {

// Today's local date as "%Y%m%d".
std::string TodayDateStamp();

// True when the file name does not carry today's date in characters 5 to 12 (names too
// short to carry a date count as another day's).
bool IsLogOfAnotherDay(std::string_view fileName, std::string_view today);

// Deletes the files (and links) of folder that are of another day; sub-folders are never
// touched. A file that cannot be deleted is skipped. Returns the number deleted.
int RemoveOldLogFiles(const std::filesystem::path& folder, std::string_view today);

}  // namespace zav
