#pragma once
// The recorder's two hotkeys, start/pause and stop, for their owner window (the main window).
// At start-up they are registered from the "hotkey" section of the settings: a pair with a 0
// in it becomes Alt+F8 (start/pause) or Alt+F12 (stop), and the values in use are written back
// after a successful registration. A press posts WM_HOTKEY to the owner with the hotkey's
// identifier; the owner hands that to Dispatch, which runs the matching action.
//
// UI thread only. Destroying the object frees both combinations.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "ConfigStore.h"
#include "GlobalHotkeys.h"

namespace zav {

class WindowImplBase;

// Posted to the owner on a press: wParam = the hotkey's identifier, lParam 0.
inline constexpr unsigned WM_HOTKEY = 0x0312;

enum class HotkeyAction { kStartPause, kStop };

// The settings keys of one hotkey in section "hotkey", and its default combination.
struct HotkeyKeys {
  std::string_view modifierKey;       // "start-pause-key1": modifier flags
  std::string_view virtualKeyKey;     // "start-pause-key2": virtual-key code
  std::string_view modifierRowKey;    // "start-pause-key1-index": the dialog's modifier row
  std::string_view virtualKeyRowKey;  // "start-pause-key2-index": the dialog's key row
  HotkeyCombo fallback;               // used when either value reads 0
};
const HotkeyKeys& KeysOf(HotkeyAction action);
inline constexpr std::string_view kHotkeySection = "hotkey";

class RecorderHotkeys {
 public:
  static constexpr int kStartPauseId = 1;
  static constexpr int kStopId = 2;

  // owner receives WM_HOTKEY and must outlive this object.
  explicit RecorderHotkeys(WindowImplBase* owner, ConfigStore& config = ConfigStore::Instance(),
                           std::unique_ptr<GlobalHotkeys> backend = CreateGlobalHotkeys());
  ~RecorderHotkeys();
  RecorderHotkeys(const RecorderHotkeys&) = delete;
  RecorderHotkeys& operator=(const RecorderHotkeys&) = delete;

  // Registers both hotkeys from the settings (start/pause first); a hotkey whose combination
  // is taken is silently absent for this run and its values stay as they were.
  void RegisterAtStartup();

  // Moves action's hotkey to combo: its old combination is freed first, then combo taken. When
  // combo cannot be taken, the old combination is taken back (if it had one) and false is
  // returned. Writes nothing to the settings.
  bool Change(HotkeyAction action, HotkeyCombo combo);

  // The combination the hotkey holds now; nullopt while it is absent.
  std::optional<HotkeyCombo> Current(HotkeyAction action) const;

  // Turns WM_HOTKEY's wParam into startPause() or stop(). False (nothing run) for any other
  // identifier.
  bool Dispatch(uintptr_t id, const std::function<void()>& startPause, const std::function<void()>& stop) const;

  // The combination stored for action, or its default when either value is 0.
  HotkeyCombo StoredCombo(HotkeyAction action) const;
  // Writes combo's modifier and key values for action.
  void WriteCombo(HotkeyAction action, HotkeyCombo combo);

  ConfigStore& Config() const { return config_; }

 private:
  static int IdOf(HotkeyAction action);
  bool Take(HotkeyAction action, HotkeyCombo combo);

  ConfigStore& config_;
  std::unique_ptr<GlobalHotkeys> backend_;
  std::optional<HotkeyCombo> startPause_;
  std::optional<HotkeyCombo> stop_;
};

}  // namespace zav
