#pragma once
// Whether the desktop program can show a window at all. Without a display Qt aborts inside
// its platform set-up; the program says what is missing instead. No Qt.

#include <functional>
#include <memory>
#include <string>

struct xcb_connection_t;

namespace zav {

// Reads an environment variable; empty when it is not set.
using EnvironmentReader = std::function<std::string(const char* name)>;

// Why no window can be shown with this environment, or empty when a display is named (or the
// chosen Qt platform needs none, such as "offscreen"). Looks at QT_QPA_PLATFORM, DISPLAY and
// WAYLAND_DISPLAY only.
std::string MissingDisplayReason(const EnvironmentReader& environment);

struct XcbDisconnect {
  void operator()(xcb_connection_t* connection) const;
};
// The connection that checked the X display, kept open until Qt has its own: a bare X server
// (such as Xvfb) resets when its last client leaves, and would refuse Qt meanwhile.
using DisplayHold = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// MissingDisplayReason of this process's environment; when only an X display is named, also
// whether it answers (the connection goes to *hold).
std::string CheckDisplay(DisplayHold* hold);

}  // namespace zav
