#pragma once
// Whether the desktop program can show a window at all. Without a display Qt aborts inside
// its platform set-up; the program says what is missing instead. No Qt.

#include <functional>
#include <string>

namespace zav {

// Reads an environment variable; empty when it is not set.
using EnvironmentReader = std::function<std::string(const char* name)>;

// Why no window can be shown with this environment, or empty when a display is named (or the
// chosen Qt platform needs none, such as "offscreen"). Looks at QT_QPA_PLATFORM, DISPLAY and
// WAYLAND_DISPLAY only.
std::string MissingDisplayReason(const EnvironmentReader& environment);

// MissingDisplayReason of this process's environment; when only an X display is named, also
// whether it answers.
std::string CheckDisplay();

}  // namespace zav
