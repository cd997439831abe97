#include "HotkeyDialog.h"

#include <QComboBox>

#include <string>

#include "dui/DialogPattern.h"
#include "dui/PromptBoxDialog.h"

namespace zav {
namespace {

constexpr int kModifierRows = 2;  // Alt, Ctrl
constexpr int kKeyRows = 12;      // F1-F12

struct Texts {
  QString success;
  QString failure;
  QString unchanged;
};

const Texts& TextsOf(HotkeyAction action) {
  static const Texts kStartPause{QStringLiteral("[开始/暂停], 热键设置成功!"), QStringLiteral("[开始/暂停], 热键设置失败!"),
                                 QStringLiteral("[开始/暂停], 未选择按键, 热键保持不变!")};
  static const Texts kStop{QStringLiteral("[停止], 热键设置成功!"), QStringLiteral("[停止], 热键设置失败!"),
                           QStringLiteral("[停止], 未选择按键, 热键保持不变!")};
  return action == HotkeyAction::kStartPause ? kStartPause : kStop;
}

void SelectStoredRow(QComboBox* list, const ConfigStore& config, std::string_view key) {
  if (!list) return;
  const int row = config.ReadInt(kHotkeySection, key, -1);
  list->setCurrentIndex(row >= 0 && row < list->count() ? row : -1);
}

int RowOf(const QComboBox* list) { return list ? list->currentIndex() : -1; }

}  // namespace

std::optional<HotkeyCombo> HotkeyDialog::ComboForRows(int modifierRow, int keyRow) {
  if (modifierRow < 0 || modifierRow >= kModifierRows || keyRow < 0 || keyRow >= kKeyRows) return std::nullopt;
  return HotkeyCombo{modifierRow == 0 ? kHotkeyAlt : kHotkeyCtrl, kVirtualKeyF1 + keyRow};
}

void HotkeyDialog::InitWindow() {
  for (const HotkeyAction action : {HotkeyAction::kStartPause, HotkeyAction::kStop}) {
    const Lists lists = ListsOf(action);
    SelectStoredRow(lists.modifier, hotkeys_.Config(), KeysOf(action).modifierRowKey);
    SelectStoredRow(lists.key, hotkeys_.Config(), KeysOf(action).virtualKeyRowKey);
  }
}

void HotkeyDialog::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender && msg.sender->objectName() == QLatin1String("hotkey-save-btn")) {
    Save();
  }
  WindowImplBase::Notify(msg);
}

void HotkeyDialog::Save() {
  if (SaveOne(HotkeyAction::kStartPause)) SaveOne(HotkeyAction::kStop);
}

bool HotkeyDialog::SaveOne(HotkeyAction action) {
  const Lists lists = ListsOf(action);
  const int modifierRow = RowOf(lists.modifier);
  const int keyRow = RowOf(lists.key);
  const Texts& texts = TextsOf(action);
  const std::optional<HotkeyCombo> combo = ComboForRows(modifierRow, keyRow);
  if (!combo) {
    // Nothing chosen for this hotkey: it keeps the combination it has.
    PromptBoxDialog::Show(this, texts.unchanged, 250, 100);
    return true;
  }
  if (!hotkeys_.Change(action, *combo)) {
    PromptBoxDialog::Show(this, texts.failure, 200, 100);
    return action != HotkeyAction::kStartPause;
  }
  PromptBoxDialog::Show(this, texts.success, 200, 100);
  const HotkeyKeys& keys = KeysOf(action);
  ConfigStore& config = hotkeys_.Config();
  config.WriteString(kHotkeySection, keys.modifierRowKey, std::to_string(modifierRow));
  config.WriteString(kHotkeySection, keys.virtualKeyRowKey, std::to_string(keyRow));
  hotkeys_.WriteCombo(action, *combo);
  return true;
}

HotkeyDialog::Lists HotkeyDialog::ListsOf(HotkeyAction action) const {
  const bool startPause = action == HotkeyAction::kStartPause;
  return {FindControl<QComboBox>(startPause ? QStringLiteral("start-pause-key1") : QStringLiteral("stop-key1")),
          FindControl<QComboBox>(startPause ? QStringLiteral("start-pause-key2") : QStringLiteral("stop-key2"))};
}

void ShowHotkeyDialog(QWidget* owner, RecorderHotkeys& hotkeys) {
  ShowDialog(new HotkeyDialog(hotkeys), owner, QStringLiteral("快捷键"));
}

}  // namespace zav
