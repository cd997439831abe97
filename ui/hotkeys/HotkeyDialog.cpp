#include "HotkeyDialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPointer>

#include "dui/DialogPattern.h"
#include "dui/PromptBoxDialog.h"
#include "dui/Texts.h"

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
  static const Texts kStartPause{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "[开始/暂停], 热键设置成功!")), QStringLiteral(QT_TRANSLATE_NOOP("Zav", "[开始/暂停], 热键设置失败!")),
                                 QStringLiteral(QT_TRANSLATE_NOOP("Zav", "[开始/暂停], 未选择按键, 热键保持不变!"))};
  static const Texts kStop{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "[停止], 热键设置成功!")), QStringLiteral(QT_TRANSLATE_NOOP("Zav", "[停止], 热键设置失败!")),
                           QStringLiteral(QT_TRANSLATE_NOOP("Zav", "[停止], 未选择按键, 热键保持不变!"))};
  return action == HotkeyAction::kStartPause ? kStartPause : kStop;
}

// A row the user picked before the combinations in effect arrived is kept.
void SelectShownRow(QComboBox* list, int row) {
  if (list && list->currentIndex() < 0 && row >= 0 && row < list->count()) list->setCurrentIndex(row);
}

int RowOf(const QComboBox* list) { return list ? list->currentIndex() : -1; }

}  // namespace

std::optional<HotkeyCombo> HotkeyDialog::ComboForRows(int modifierRow, int keyRow) {
  if (modifierRow < 0 || modifierRow >= kModifierRows || keyRow < 0 || keyRow >= kKeyRows) return std::nullopt;
  return HotkeyCombo{modifierRow == 0 ? kHotkeyAlt : kHotkeyCtrl, kVirtualKeyF1 + keyRow};
}

HotkeyRows HotkeyDialog::RowsForCombo(HotkeyCombo combo) {
  HotkeyRows rows;
  if (combo.modifiers == kHotkeyAlt) rows.modifier = 0;
  if (combo.modifiers == kHotkeyCtrl) rows.modifier = 1;
  if (combo.virtualKey >= kVirtualKeyF1 && combo.virtualKey < kVirtualKeyF1 + kKeyRows) {
    rows.key = combo.virtualKey - kVirtualKeyF1;
  }
  return rows;
}

void HotkeyDialog::InitWindow() {
  ShowSupport();
  // No selection until the combinations in effect are known.
  for (const HotkeyAction action : kHotkeyActions) {
    const Lists lists = ListsOf(action);
    if (lists.modifier) lists.modifier->setCurrentIndex(-1);
    if (lists.key) lists.key->setCurrentIndex(-1);
  }
  // The combinations in effect rather than the rows last saved: those are missing before the
  // first save, and say nothing of a stored combination that was replaced by its default.
  hotkeys_.ReadEffectiveCombos(this, [this](const std::array<HotkeyCombo, 2>& combos) {
    for (size_t i = 0; i < kHotkeyActions.size(); ++i) {
      const Lists lists = ListsOf(kHotkeyActions[i]);
      const HotkeyRows rows = RowsForCombo(combos[i]);
      SelectShownRow(lists.modifier, rows.modifier);
      SelectShownRow(lists.key, rows.key);
    }
    combosShown_ = true;
    ShowSupport();  // the desktop may have answered meanwhile
  });
}

void HotkeyDialog::ShowSupport() {
  if (hotkeys_.Unsupported().empty()) return;
  if (auto* note = FindControl<QLabel>(QStringLiteral("dialog-note"))) note->setText(Tr(kUnsupportedNote));
  for (const HotkeyAction action : kHotkeyActions) {
    const Lists lists = ListsOf(action);
    if (lists.modifier) lists.modifier->setEnabled(false);
    if (lists.key) lists.key->setEnabled(false);
  }
  if (auto* save = FindControl<QAbstractButton>(QStringLiteral("hotkey-save-btn"))) save->setEnabled(false);
}

void HotkeyDialog::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender && msg.sender->objectName() == QLatin1String("hotkey-save-btn")) {
    Save();
  }
  WindowImplBase::Notify(msg);
}

void HotkeyDialog::Save() {
  if (auto* save = FindControl<QAbstractButton>(QStringLiteral("hotkey-save-btn"))) save->setEnabled(false);
  SaveOne(HotkeyAction::kStartPause, [this] { SaveOne(HotkeyAction::kStop, [this] { SaveEnded(); }); });
}

void HotkeyDialog::SaveEnded() {
  if (auto* save = FindControl<QAbstractButton>(QStringLiteral("hotkey-save-btn"))) save->setEnabled(true);
  ShowSupport();
}

void HotkeyDialog::SaveOne(HotkeyAction action, std::function<void()> next) {
  const Lists lists = ListsOf(action);
  const int modifierRow = RowOf(lists.modifier);
  const int keyRow = RowOf(lists.key);
  const Texts& texts = TextsOf(action);
  const std::optional<HotkeyCombo> combo = ComboForRows(modifierRow, keyRow);
  if (!combo) {
    // Nothing chosen for this hotkey: it keeps the combination it has.
    const QPointer<HotkeyDialog> alive(this);
    PromptBoxDialog::Show(this, texts.unchanged, 250, 100);
    if (alive) next();
    return;
  }
  const HotkeyRows rows{modifierRow, keyRow};
  // The desktop may answer after the dialog has gone: a hotkey it took is still stored.
  hotkeys_.Change(action, *combo, [dialog = QPointer<HotkeyDialog>(this), &hotkeys = hotkeys_, action, rows,
                                   combo = *combo, next](bool taken) {
    if (!dialog) {
      if (taken) {
        hotkeys.WriteRows(action, rows);
        hotkeys.WriteCombo(action, combo);
      }
      return;
    }
    const Texts& texts = TextsOf(action);
    // The prompt runs a loop of its own, in which the dialog may be closed.
    if (!taken) {
      PromptBoxDialog::Show(dialog, texts.failure, 200, 100);
      if (!dialog) return;
      if (action == HotkeyAction::kStartPause) {
        dialog->SaveEnded();
      } else {
        next();
      }
      return;
    }
    PromptBoxDialog::Show(dialog, texts.success, 200, 100);
    hotkeys.WriteRows(action, rows, dialog);
    hotkeys.WriteCombo(action, combo, dialog);
    if (dialog) next();
  });
}

HotkeyDialog::Lists HotkeyDialog::ListsOf(HotkeyAction action) const {
  const bool startPause = action == HotkeyAction::kStartPause;
  return {FindControl<QComboBox>(startPause ? QStringLiteral("start-pause-key1") : QStringLiteral("stop-key1")),
          FindControl<QComboBox>(startPause ? QStringLiteral("start-pause-key2") : QStringLiteral("stop-key2"))};
}

void ShowHotkeyDialog(QWidget* owner, RecorderHotkeys& hotkeys) {
  ShowDialog(new HotkeyDialog(hotkeys), owner, QStringLiteral(QT_TRANSLATE_NOOP("Zav", "快捷键")));
}

}  // namespace zav
