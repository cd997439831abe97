#include "RecorderHotkeys.h"

#include <glog/logging.h>

#include <string>

#include "ConfigStore.h"
#include "dui/WindowImplBase.h"
#include "dui/WorkQueue.h"
#include "mainwindow/SettingWrites.h"

namespace zav {
namespace {

ConfigStore& StoreOrProgramStore(ConfigStore* config) { return config ? *config : ConfigStore::Instance(); }

const char* NameOf(HotkeyAction action) { return action == HotkeyAction::kStartPause ? "start/pause" : "stop"; }

}  // namespace

const HotkeyKeys& KeysOf(HotkeyAction action) {
  static const HotkeyKeys kStartPause{kStartPauseKeys.modifier, kStartPauseKeys.virtualKey,
                                      kStartPauseKeys.modifierRow, kStartPauseKeys.virtualKeyRow,
                                      {kHotkeyAlt, kVirtualKeyF8}};
  static const HotkeyKeys kStop{kStopKeys.modifier, kStopKeys.virtualKey, kStopKeys.modifierRow,
                                kStopKeys.virtualKeyRow, {kHotkeyAlt, kVirtualKeyF12}};
  return action == HotkeyAction::kStartPause ? kStartPause : kStop;
}

RecorderHotkeys::RecorderHotkeys(WindowImplBase* owner, WorkQueue& disk, ConfigStore* config,
                                 std::unique_ptr<GlobalHotkeys> backend)
    : disk_(disk), config_(config), backend_(std::move(backend)) {
  // Posted rather than run here: the press arrives inside the event filter, and the action may
  // open modal prompts.
  backend_->SetPressedHandler([owner](int id) { owner->PostMessage(WM_HOTKEY, static_cast<uintptr_t>(id), 0); });
}

RecorderHotkeys::~RecorderHotkeys() {
  backend_->Unregister(kStartPauseId);
  backend_->Unregister(kStopId);
}

void RecorderHotkeys::RegisterAtStartup() {
  startupPending_ = true;
  disk_.Run(
      &answers_,
      [config = config_] {
        const ConfigStore& store = StoreOrProgramStore(config);
        std::array<HotkeyCombo, 2> stored;
        for (size_t i = 0; i < kHotkeyActions.size(); ++i) {
          bool invalid = false;
          stored[i] = ReadStoredCombo(store, kHotkeyActions[i], &invalid);
          if (invalid) {
            const HotkeyKeys& keys = KeysOf(kHotkeyActions[i]);
            LOG(WARNING) << "hotkey: the stored " << NameOf(kHotkeyActions[i]) << " combination ("
                         << keys.modifierKey << "=" << store.ReadString(kHotkeySection, keys.modifierKey) << ", "
                         << keys.virtualKeyKey << "=" << store.ReadString(kHotkeySection, keys.virtualKeyKey)
                         << ") is not valid; using the default (modifiers " << stored[i].modifiers << ", key "
                         << stored[i].virtualKey << ")";
          }
        }
        return stored;
      },
      [this](const std::array<HotkeyCombo, 2>& stored) { RegisterStored(stored); });
}

void RecorderHotkeys::RegisterStored(const std::array<HotkeyCombo, 2>& stored) {
  std::array<bool, 2> taken{};
  for (size_t i = 0; i < kHotkeyActions.size(); ++i) {
    // One the user has set in the dialog meanwhile is kept.
    if (Current(kHotkeyActions[i])) continue;
    taken[i] = Take(kHotkeyActions[i], stored[i]);
    if (taken[i]) WriteCombo(kHotkeyActions[i], stored[i]);
  }
  startupPending_ = false;
  LOG(INFO) << "hotkeys registered: start/pause " << (taken[0] ? "yes" : "no") << ", stop " << (taken[1] ? "yes" : "no");
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

void RecorderHotkeys::ReadEffectiveCombos(QObject* receiver,
                                          std::function<void(const std::array<HotkeyCombo, 2>&)> done) const {
  disk_.Run(
      receiver,
      [config = config_] {
        const ConfigStore& store = StoreOrProgramStore(config);
        return std::array<HotkeyCombo, 2>{ReadStoredCombo(store, kHotkeyActions[0]), ReadStoredCombo(store, kHotkeyActions[1])};
      },
      // The hotkeys are asked when the answer arrives: one changed meanwhile shows as it is now.
      [this, done = std::move(done)](const std::array<HotkeyCombo, 2>& stored) {
        std::array<HotkeyCombo, 2> effective = stored;
        for (size_t i = 0; i < kHotkeyActions.size(); ++i) {
          if (const std::optional<HotkeyCombo> held = Current(kHotkeyActions[i])) effective[i] = *held;
        }
        done(effective);
      });
}

void RecorderHotkeys::WriteRows(HotkeyAction action, HotkeyRows rows, WindowImplBase* teller) const {
  const HotkeyKeys& keys = KeysOf(action);
  WritePair(keys.modifierRowKey, rows.modifier, keys.virtualKeyRowKey, rows.key, teller);
}

void RecorderHotkeys::WriteCombo(HotkeyAction action, HotkeyCombo combo, WindowImplBase* teller) const {
  const HotkeyKeys& keys = KeysOf(action);
  WritePair(keys.modifierKey, combo.modifiers, keys.virtualKeyKey, combo.virtualKey, teller);
}

void RecorderHotkeys::WritePair(std::string_view firstKey, int first, std::string_view secondKey, int second,
                                WindowImplBase* teller) const {
  auto write = [config = config_, firstKey, first, secondKey, second] {
    ConfigStore& store = StoreOrProgramStore(config);
    const bool firstStored = store.WriteString(kHotkeySection, firstKey, std::to_string(first));
    const bool secondStored = store.WriteString(kHotkeySection, secondKey, std::to_string(second));
    if (!firstStored || !secondStored) LOG(ERROR) << "hotkey: cannot store " << firstKey << " and " << secondKey;
    return firstStored && secondStored;
  };
  if (!teller) {
    disk_.Post(write);
    return;
  }
  disk_.Run(teller, write, [teller](bool stored) {
    if (!stored) TellSettingsNotStored(teller);
  });
}

int RecorderHotkeys::IdOf(HotkeyAction action) {
  return action == HotkeyAction::kStartPause ? kStartPauseId : kStopId;
}

bool RecorderHotkeys::Take(HotkeyAction action, HotkeyCombo combo) {
  if (!backend_->Register(IdOf(action), combo)) return false;
  (action == HotkeyAction::kStartPause ? startPause_ : stop_) = combo;
  return true;
}

HotkeyCombo ReadStoredCombo(const ConfigStore& config, HotkeyAction action, bool* invalid) {
  const HotkeyKeys& keys = KeysOf(action);
  const HotkeyCombo stored{config.ReadInt(kHotkeySection, keys.modifierKey, 0),
                           config.ReadInt(kHotkeySection, keys.virtualKeyKey, 0)};
  if (invalid) *invalid = false;
  if (stored.modifiers == 0 || stored.virtualKey == 0) return keys.fallback;
  if (!IsValidHotkeyCombo(stored)) {
    if (invalid) *invalid = true;
    return keys.fallback;
  }
  return stored;
}

}  // namespace zav
