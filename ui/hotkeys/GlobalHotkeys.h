#pragma once
// Global hotkeys: key combinations that reach the program whichever window has the focus.
// A combination is given in the values the "hotkey" section of the settings stores: modifier
// flags (kHotkeyAlt 1, kHotkeyCtrl 2, kHotkeyShift 4, kHotkeyWin 8) and a virtual-key code of
// the function keys F1 (112) to F12 (123). Each backend turns them into its platform's keys.
//
// UI thread only; the pressed handler runs on the UI thread.

#include <functional>
#include <memory>

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

class GlobalHotkeys {
 public:
  using PressedHandler = std::function<void(int id)>;

  virtual ~GlobalHotkeys() = default;

  // Takes combo for id, which must not be registered. False when another program or another
  // id holds the combination, when it has no keys here, or when the session offers no global
  // keys at all (no X11).
  virtual bool Register(int id, HotkeyCombo combo) = 0;
  // Frees id's combination at once; nothing happens for an id that is not registered.
  virtual void Unregister(int id) = 0;
  // Called with the id whenever a registered combination is pressed.
  virtual void SetPressedHandler(PressedHandler handler) = 0;
};

// The X11 backend when the application runs on X11; otherwise one whose every registration
// fails (a Wayland session, the offscreen platform). Must be destroyed before the application
// object.
std::unique_ptr<GlobalHotkeys> CreateGlobalHotkeys();

}  // namespace zav
