#pragma once
// Global hotkeys: key combinations that reach the program whichever window has the focus.
// A combination is given in the values the "hotkey" section of the settings stores: modifier
// flags (kHotkeyAlt 1, kHotkeyCtrl 2, kHotkeyShift 4, kHotkeyWin 8) and a virtual-key code of
// the function keys F1 (112) to F12 (123). Each backend turns them into its platform's keys:
// key grabs on X11, the desktop portal's global shortcuts on Wayland, or none.
//
// UI thread only; the handlers run on the UI thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zav {

inline constexpr int kHotkeyAlt = 1;
inline constexpr int kHotkeyCtrl = 2;
inline constexpr int kHotkeyShift = 4;
inline constexpr int kHotkeyWin = 8;
inline constexpr int kVirtualKeyF1 = 112;
inline constexpr int kVirtualKeyF8 = 119;
inline constexpr int kVirtualKeyF12 = 123;

struct HotkeyCombo {
  int modifiers = 0;
  int virtualKey = 0;
  bool operator==(const HotkeyCombo&) const = default;
};

// At least one of the four modifier flags and nothing else, and one of F1-F12.
inline bool IsValidHotkeyCombo(HotkeyCombo combo) {
  constexpr int kKnownFlags = kHotkeyAlt | kHotkeyCtrl | kHotkeyShift | kHotkeyWin;
  return combo.modifiers != 0 && (combo.modifiers & ~kKnownFlags) == 0 && combo.virtualKey >= kVirtualKeyF1 &&
         combo.virtualKey <= kVirtualKeyF12;
}

// One hotkey asked of the desktop.
struct HotkeyBinding {
  int id = 0;               // what the pressed handler is called with
  std::string name;         // a stable name for the desktop's own shortcut settings ("start-pause")
  std::string description;  // what the desktop shows the user
  HotkeyCombo combo;
  bool operator==(const HotkeyBinding&) const = default;
};

class GlobalHotkeys {
 public:
  using PressedHandler = std::function<void(int id)>;
  // For each binding of the request, in its order: whether it holds its combination now.
  using BoundHandler = std::function<void(const std::vector<bool>& held)>;

  virtual ~GlobalHotkeys() = default;

  // Makes the hotkeys held exactly `bindings`: an id that is not among them is freed, an id
  // whose combination changed is freed and then asked for anew, an unchanged one is kept. A
  // binding fails when another program or another id holds its combination, when it has no
  // keys here, or when the desktop offers no global keys (Unsupported()). done runs once on
  // the UI thread, maybe before Bind returns (the X11 grabs answer at once), maybe much later
  // (the portal may ask the user), never after this object has gone. One request at a time:
  // the next Bind comes after done.
  virtual void Bind(std::vector<HotkeyBinding> bindings, BoundHandler done) = 0;
  // Called with the id whenever a held combination is pressed.
  virtual void SetPressedHandler(PressedHandler handler) = 0;
  // Empty while the desktop may give global keys; otherwise why it gives none (no X11 and no
  // portal, a portal without global shortcuts, the user refused them). Once set it stays, and
  // the backend has said it in the log.
  virtual std::string Unsupported() const = 0;
};

// The backend for the session the application runs in, chosen once: X11 key grabs on the xcb
// platform; on Wayland the desktop portal's global shortcuts (which turns into "none" when the
// session bus has no portal with that interface); none on any other platform. Must be destroyed
// before the application object.
std::unique_ptr<GlobalHotkeys> CreateGlobalHotkeys();

// A backend whose every binding fails, with the reason given (logged once, here).
std::unique_ptr<GlobalHotkeys> CreateNoGlobalHotkeys(std::string reason);

}  // namespace zav
