#pragma once
// Which Qt platform the desktop program asks for: Wayland's own in a Wayland session, X11
// otherwise. Qt's built-in choice depends on how Qt was built (some builds ignore a Wayland
// session on some desktops and run through XWayland), so the program says it itself. No Qt.

#include <string>

#include "DisplayCheck.h"

namespace zav {

// The value to give QT_QPA_PLATFORM, or empty to leave Qt's choice alone (the user named one
// in QT_QPA_PLATFORM, or no display is named at all). In a Wayland session (WAYLAND_DISPLAY
// set, or XDG_SESSION_TYPE "wayland") "wayland", followed by ";xcb" when an X display is
// named too, so that a Qt without its Wayland plugin still shows the window (through
// XWayland); an X11 session ("x11", or only DISPLAY set) gets "xcb".
std::string ChooseQtPlatform(const EnvironmentReader& environment);

}  // namespace zav
