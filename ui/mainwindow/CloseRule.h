#pragma once
// What closing the main window does.

#include <cstdint>

namespace zav {

enum class CloseAction { kQuit, kMinimize };

// closeParam: the value the close carries (kMenuQuit, 1234, for the quit command);
// windowClose: the "window-close" setting of section "global" (0 when missing); trayShown:
// whether the program's icon is in a notification area. The quit command always quits;
// otherwise a non-zero setting only minimises the window, as long as the icon is there to bring
// it back: without one the close quits whatever the setting says.
CloseAction DecideClose(uintptr_t closeParam, int windowClose, bool trayShown);

}  // namespace zav
