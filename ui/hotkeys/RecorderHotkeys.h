#pragma once
// The recorder's two hotkeys, start/pause and stop, for their owner window (the main window).
// At start-up they are registered from the "hotkey" section of the settings: a pair with a 0
// in it becomes Alt+F8 (start/pause) or Alt+F12 (stop), as does a pair that is no combination
// (a value out of range: the log says so), and the values in use are written back after a
// successful registration. A press posts WM_HOTKEY to the owner with the hotkey's
// identifier; the owner hands that to Dispatch, which runs the matching action.
//
// The hotkeys are asked of whichever backend the session offers (GlobalHotkeys); this class
// does not know which. A backend may answer at once (X11 key grabs) or later (the desktop
// portal, which may ask the user), so registering and changing report when they are done. The
// requests reach the backend one at a time, in the order asked, each built from the hotkeys
// held when it starts.
//
// The settings are read and written on the settings worker, in the order asked.
//
// UI thread only. Destroying the object frees both combinations; writes already asked for
// still reach the settings, answers still to come are dropped.

#include <QObject>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "GlobalHotkeys.h"
#include "mainwindow/StoredChoices.h"

namespace zav {

class ConfigStore;
class WindowImplBase;
class WorkQueue;

// Posted to the owner on a press: wParam = the hotkey's identifier, lParam 0.
inline constexpr unsigned WM_HOTKEY = 0x0312;

enum class HotkeyAction { kStartPause, kStop };
inline constexpr std::array<HotkeyAction, 2> kHotkeyActions = {HotkeyAction::kStartPause, HotkeyAction::kStop};

// The settings keys of one hotkey in section "hotkey", and its default combination.
struct HotkeyKeys {
  std::string_view modifierKey;       // "start-pause-key1": modifier flags
  std::string_view virtualKeyKey;     // "start-pause-key2": virtual-key code
  std::string_view modifierRowKey;    // "start-pause-key1-index": the dialog's modifier row
  std::string_view virtualKeyRowKey;  // "start-pause-key2-index": the dialog's key row
  HotkeyCombo fallback;               // used when either value reads 0, or the pair is not valid
};
const HotkeyKeys& KeysOf(HotkeyAction action);

// The dialog's rows of one hotkey; -1 where none is stored.
struct HotkeyRows {
  int modifier = -1;
  int key = -1;
};

class RecorderHotkeys {
 public:
  static constexpr int kStartPauseId = 1;
  static constexpr int kStopId = 2;

  // owner receives WM_HOTKEY and must outlive this object; disk is the settings worker, and
  // config the settings store (null: the program's, looked up on the worker). Both outlive it.
  RecorderHotkeys(WindowImplBase* owner, WorkQueue& disk, ConfigStore* config = nullptr,
                  std::unique_ptr<GlobalHotkeys> backend = CreateGlobalHotkeys());
  ~RecorderHotkeys();
  RecorderHotkeys(const RecorderHotkeys&) = delete;
  RecorderHotkeys& operator=(const RecorderHotkeys&) = delete;

  // Reads both hotkeys' settings on the worker, then registers them; a hotkey whose combination
  // is taken is silently absent for this run and its values stay as they were.
  void RegisterAtStartup();
  // True from RegisterAtStartup until both registrations were answered and their writes queued.
  bool StartupPending() const { return startupPending_; }

  // Moves action's hotkey to combo: its old combination is freed first, then combo taken. When
  // combo cannot be taken, the old combination is taken back (if it had one) and the answer is
  // false. Writes nothing to the settings. done gets the answer on the UI thread (maybe before
  // Change returns), unless this object has gone by then.
  void Change(HotkeyAction action, HotkeyCombo combo, std::function<void(bool taken)> done);

  // Empty while the desktop may give global hotkeys; otherwise why it gives none.
  std::string Unsupported() const { return backend_->Unsupported(); }

  // The combination the hotkey holds now; nullopt while it is absent.
  std::optional<HotkeyCombo> Current(HotkeyAction action) const;

  // Turns WM_HOTKEY's wParam into startPause() or stop(). False (nothing run) for any other
  // identifier.
  bool Dispatch(uintptr_t id, const std::function<void()>& startPause, const std::function<void()>& stop) const;

  // The combination of each hotkey (in kHotkeyActions order) as it is in effect: the one it
  // holds, or for a hotkey that is absent, the one the settings give it (its default included).
  // Reads the settings on the worker; done gets the combinations on the UI thread, unless
  // receiver has gone by then.
  void ReadEffectiveCombos(QObject* receiver, std::function<void(const std::array<HotkeyCombo, 2>&)> done) const;
  // Queue writes of action's dialog rows, and of its combination's modifier and key values.
  // When a write fails, teller (a window the user changed them in, if given and still there)
  // tells the user.
  void WriteRows(HotkeyAction action, HotkeyRows rows, WindowImplBase* teller = nullptr) const;
  void WriteCombo(HotkeyAction action, HotkeyCombo combo, WindowImplBase* teller = nullptr) const;

 private:
  using Combos = std::array<std::optional<HotkeyCombo>, 2>;  // in kHotkeyActions order

  static int IdOf(HotkeyAction action);
  // Asks the backend to hold exactly combos, and notes what it holds; then `then`.
  void BindAll(const Combos& combos, std::function<void()> then);
  void RegisterStored(const std::array<HotkeyCombo, 2>& stored);
  // Backend requests one at a time: a step runs when the one before has called StepDone.
  void Enqueue(std::function<void()> step);
  void StepDone();
  void RunNextStep();
  // Queues a write of two values of section "hotkey"; the keys are KeysOf's (static) texts.
  void WritePair(std::string_view firstKey, int first, std::string_view secondKey, int second,
                 WindowImplBase* teller) const;

  WorkQueue& disk_;
  ConfigStore* const config_;
  std::unique_ptr<GlobalHotkeys> backend_;
  std::optional<HotkeyCombo> startPause_;
  std::optional<HotkeyCombo> stop_;
  bool startupPending_ = false;
  std::deque<std::function<void()>> steps_;
  bool stepRunning_ = false;
  // Receives the worker's answers; gone with this object, so late answers are dropped.
  QObject answers_;
};

// The combination stored for action in config, or its default when either value is 0 or the pair
// is not a valid combination (*invalid, if given, then says which of the two). Touches the disk.
HotkeyCombo ReadStoredCombo(const ConfigStore& config, HotkeyAction action, bool* invalid = nullptr);

}  // namespace zav
