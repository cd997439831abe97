#pragma once
// Messages that the tray icon and its menu post to the main window.

#include <cstdint>

namespace zav {

// Menu commands; wParam and lParam are those of the menu's click.
inline constexpr unsigned kMenuQuit = 1234;      // end the program (a close that always quits)
inline constexpr unsigned kMenuHome = 1235;      // show and activate the main window
inline constexpr unsigned kMenuHelp = 1236;      // open the help page
inline constexpr unsigned kMenuSeting = 1237;    // open the settings dialog
inline constexpr unsigned kMenuFeedback = 1238;  // open the feedback dialog
inline constexpr unsigned kMenuUpgrade = 1239;   // check for a newer version

// Tray callback: wParam = kTrayIconId, lParam = the mouse message.
inline constexpr unsigned kTrayCallback = 1254;
inline constexpr uintptr_t kTrayIconId = 128;
inline constexpr intptr_t kMouseLeftDown = 513;
inline constexpr intptr_t kMouseRightDown = 516;

}  // namespace zav
