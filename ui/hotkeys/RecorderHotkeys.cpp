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

size_t IndexOf(HotkeyAction action) { return action == HotkeyAction::kStartPause ? 0 : 1; }

// How the desktop's own shortcut settings name and describe the hotkey.
const char* ShortcutNameOf(HotkeyAction action) {
  return action == HotkeyAction::kStartPause ? "start-pause" : "stop";
}
const char* ShortcutDescriptionOf(HotkeyAction action) {
  return action == HotkeyAction::kStartPause ? "开始/暂停录音" : "停止录音";
}

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

RecorderHotkeys::~RecorderHotkeys() = default;

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
      [this](const std::array<HotkeyCombo, 2>& stored) { Enqueue([this, stored] { RegisterStored(stored); }); });
}

void RecorderHotkeys::RegisterStored(const std::array<HotkeyCombo, 2>& stored) {
  Combos combos;
  std::array<bool, 2> fromSettings{};
  for (size_t i = 0; i < kHotkeyActions.size(); ++i) {
    // One the user has set in the dialog meanwhile is kept.
    combos[i] = Current(kHotkeyActions[i]);
    if (!combos[i]) {
      combos[i] = stored[i];
      fromSettings[i] = true;
    }
  }
  BindAll(combos, [this, combos, fromSettings] {
    std::array<bool, 2> taken{};
    for (size_t i = 0; i < kHotkeyActions.size(); ++i) {
      taken[i] = Current(kHotkeyActions[i]) == combos[i];
      if (taken[i] && fromSettings[i]) WriteCombo(kHotkeyActions[i], *combos[i]);
    }
    startupPending_ = false;
    LOG(INFO) << "hotkeys registered: start/pause " << (taken[0] ? "yes" : "no") << ", stop "
              << (taken[1] ? "yes" : "no");
    StepDone();
  });
}

void RecorderHotkeys::Change(HotkeyAction action, HotkeyCombo combo, std::function<void(bool taken)> done) {
  Enqueue([this, action, combo, done = std::move(done)] {
    // The last thing a step does: the answer may open a prompt with a loop of its own, in
    // which this object may go.
    auto answer = [this, done](bool taken) {
      StepDone();
      if (done) done(taken);
    };
    Combos wanted{startPause_, stop_};
    const std::optional<HotkeyCombo> previous = wanted[IndexOf(action)];
    wanted[IndexOf(action)] = combo;
    BindAll(wanted, [this, action, combo, previous, answer] {
      if (Current(action) == combo) {
        answer(true);
        return;
      }
      if (!previous) {
        answer(false);
        return;
      }
      // A failed change keeps the hotkey the user had rather than leaving none.
      Combos restored{startPause_, stop_};
      restored[IndexOf(action)] = previous;
      BindAll(restored, [answer] { answer(false); });
    });
  });
}

void RecorderHotkeys::BindAll(const Combos& combos, std::function<void()> then) {
  std::vector<HotkeyBinding> bindings;
  for (size_t i = 0; i < kHotkeyActions.size(); ++i) {
    if (!combos[i]) continue;
    bindings.push_back({IdOf(kHotkeyActions[i]), ShortcutNameOf(kHotkeyActions[i]),
                        ShortcutDescriptionOf(kHotkeyActions[i]), *combos[i]});
  }
  backend_->Bind(bindings, [this, combos, then = std::move(then)](const std::vector<bool>& held) {
    size_t asked = 0;
    for (size_t i = 0; i < kHotkeyActions.size(); ++i) {
      const bool holds = combos[i] && asked < held.size() && held[asked];
      if (combos[i]) ++asked;
      (i == 0 ? startPause_ : stop_) = holds ? combos[i] : std::optional<HotkeyCombo>();
    }
    then();
  });
}

void RecorderHotkeys::Enqueue(std::function<void()> step) {
  steps_.push_back(std::move(step));
  if (!stepRunning_) RunNextStep();
}

void RecorderHotkeys::StepDone() {
  stepRunning_ = false;
  RunNextStep();
}

void RecorderHotkeys::RunNextStep() {
  if (steps_.empty()) return;
  stepRunning_ = true;
  const std::function<void()> next = std::move(steps_.front());
  steps_.pop_front();
  next();
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
