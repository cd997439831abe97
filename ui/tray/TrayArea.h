#pragma once
// Whether the desktop has a notification area for the program's icon: a StatusNotifierItem
// watcher on the session bus, or an X11 system tray. Without one there is no icon, so nothing
// could bring back a window that closing only hid: the close-to-tray choice is then greyed out
// and closing quits. Tests of a desktop with a tray put a stand-in in its place. UI thread only.

namespace zav {

using TrayCheck = bool (*)();

bool DesktopHasTray();

// Replaces the desktop's answer; nullptr restores it.
void SetTrayCheck(TrayCheck check);

}  // namespace zav
