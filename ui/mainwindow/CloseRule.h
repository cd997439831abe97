#pragma once
// What closing the main window does.

#include <cstdint>

namespace zav {

enum class CloseAction { kQuit, kMinimize };

// closeParam: the value the close carries (kMenuQuit, 1234, for the quit command);
// windowClose: the "window-close" setting of section "global" (0 when missing). The quit command
// always quits; otherwise a non-zero setting only minimises the window.
CloseAction DecideClose(uintptr_t closeParam, int windowClose);

}  // namespace zav
