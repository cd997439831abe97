#include "RecorderHotkeys.h"

#include <string>

#include "dui/WindowImplBase.h"

namespace zav {

const HotkeyKeys& KeysOf(HotkeyAction action) {
  static const HotkeyKeys kStartPause{"start-pause-key1", "start-pause-key2", "start-pause-key1-index",
                                      "start-pause-key2-index", {kHotkeyAlt, kVirtualKeyF8}};
  static const HotkeyKeys kStop{"stop-key1", "stop-key2", "stop-key1-index", "stop-key2-index",
                                {kHotkeyAlt, kVirtualKeyF12}};
  return action == HotkeyAction::kStartPause ? kStartPause : kStop;
}

RecorderHotkeys::RecorderHotkeys(WindowImplBase* owner, ConfigStore& config, std::unique_ptr<GlobalHotkeys> backend)
    : config_(config), backend_(std::move(backend)) {
  // Posted rather than run here: the press arrives inside the event filter, and the action may
  // open modal prompts.
  backend_->SetPressedHandler([owner](int id) { owner->PostMessage(WM_HOTKEY, static_cast<uintptr_t>(id), 0); });
}

RecorderHotkeys::~RecorderHotkeys() {
  backend_->Unregister(kStartPauseId);
  backend_->Unregister(kStopId);
}

void RecorderHotkeys::RegisterAtStartup() {
  for (const HotkeyAction action : {HotkeyAction::kStartPause, HotkeyAction::kStop}) {
    const HotkeyCombo combo = StoredCombo(action);
    if (Take(action, combo)) WriteCombo(action, combo);
  }
}

bool RecorderHotkeys::Change(HotkeyAction action, HotkeyCombo combo) {
  std::optional<HotkeyCombo>& current = action == HotkeyAction::kStartPause ? startPause_ : stop_;
  const std::optional<HotkeyCombo> previous = current;
  backend_->Unregister(IdOf(action));
  current.reset();
  if (Take(action, combo)) return true;
  // A failed change keeps the hotkey the user had rather than leaving none.
  if (previous) Take(action, *previous);
  return false;
}

std::optional<HotkeyCombo> RecorderHotkeys::Current(HotkeyAction action) const {
  return action == HotkeyAction::kStartPause ? startPause_ : stop_;
}

bool RecorderHotkeys::Dispatch(uintptr_t id, const std::function<void()>& startPause,
                               const std::function<void()>& stop) const {
  if (id == static_cast<uintptr_t>(kStartPauseId) && startPause_) {
    if (startPause) startPause();
    return true;
  }
  if (id == static_cast<uintptr_t>(kStopId) && stop_) {
    if (stop) stop();
    return true;
  }
  return false;
}

HotkeyCombo RecorderHotkeys::StoredCombo(HotkeyAction action) const {
  const HotkeyKeys& keys = KeysOf(action);
  const HotkeyCombo stored{config_.ReadInt(kHotkeySection, keys.modifierKey, 0),
                           config_.ReadInt(kHotkeySection, keys.virtualKeyKey, 0)};
  if (stored.modifiers == 0 || stored.virtualKey == 0) return keys.fallback;
  return stored;
}

void RecorderHotkeys::WriteCombo(HotkeyAction action, HotkeyCombo combo) {
  const HotkeyKeys& keys = KeysOf(action);
  config_.WriteString(kHotkeySection, keys.modifierKey, std::to_string(combo.modifiers));
  config_.WriteString(kHotkeySection, keys.virtualKeyKey, std::to_string(combo.virtualKey));
}

int RecorderHotkeys::IdOf(HotkeyAction action) {
  return action == HotkeyAction::kStartPause ? kStartPauseId : kStopId;
}

bool RecorderHotkeys::Take(HotkeyAction action, HotkeyCombo combo) {
  if (!backend_->Register(IdOf(action), combo)) return false;
  (action == HotkeyAction::kStartPause ? startPause_ : stop_) = combo;
  return true;
}

}  // namespace zav
