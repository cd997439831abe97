#pragma once
// Starting the program when the user logs in: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/zav-audio-recorder.desktop, that starts it hidden in the tray so
// that scheduled jobs record without anyone opening it. The entry is the setting: it is on while
// the file is there. Touches the disk.

#include <string>

namespace zav {

// The option that starts the program without showing its window (where a tray icon can bring
// it back).
inline constexpr char kStartHiddenOption[] = "--hidden";

std::string AutostartEntryPath();
bool AutostartEnabled();
// Writes the entry for program (its absolute path), or removes it. True when the disk says so now.
bool SetAutostart(bool on, const std::string& program);

// The entry's text for program: a desktop entry whose Exec line quotes the path as desktop
// entries must (any character of a path is kept).
std::string AutostartEntryText(const std::string& program);

}  // namespace zav
