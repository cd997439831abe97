#pragma once
// HotkeyDialog ("快捷键"): changes the two hotkeys. Each hotkey has a modifier list (row 0
// Alt, row 1 Ctrl) and a key list (rows 0-11, F1-F12); when it opens, the rows of the
// combination each hotkey has in effect are selected. Saving moves start/pause first, then
// stop, and tells the result of each in a prompt; only a hotkey that was taken is written to
// the settings. A failed start/pause ends the save there. The desktop may answer a change
// later (it may ask the user first): the save button waits for the answers.
//
// On a desktop that gives no global hotkeys the dialog says so in its note and offers no
// change. Deletes itself when its window is destroyed.

#include <functional>
#include <optional>

#include "RecorderHotkeys.h"
#include "dui/WindowImplBase.h"

class QComboBox;

namespace zav {

class HotkeyDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // hotkeys: the object that holds the hotkeys (the main window's); it outlives the dialog.
  explicit HotkeyDialog(RecorderHotkeys& hotkeys) : hotkeys_(hotkeys) {}

  // The combination that the selected rows mean; nullopt when a row is not one of the list's.
  static std::optional<HotkeyCombo> ComboForRows(int modifierRow, int keyRow);
  // The rows that show combo; -1 for a part no row shows (Shift, Win, two modifiers).
  static HotkeyRows RowsForCombo(HotkeyCombo combo);

  // True once the combinations in effect are shown (for tests).
  bool CombosShown() const { return combosShown_; }

  // The note shown instead of the usual one when the desktop gives no global hotkeys.
  static inline const QString kUnsupportedNote = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "当前桌面不支持全局快捷键，请使用窗口上的按钮控制录音。"));

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("快捷键"); }
  QString GetSkinFile() override { return QStringLiteral("HotkeyDialog.xml"); }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  void OnFinalMessage() override { delete this; }

 private:
  struct Lists {
    QComboBox* modifier = nullptr;
    QComboBox* key = nullptr;
  };

  void Save();
  // One hotkey's part of the save; then runs next, unless the save stops here.
  void SaveOne(HotkeyAction action, std::function<void()> next);
  void SaveEnded();
  // Without global hotkeys on this desktop, says so and offers no change.
  void ShowSupport();
  Lists ListsOf(HotkeyAction action) const;

  RecorderHotkeys& hotkeys_;
  bool combosShown_ = false;
};

// What the main window's "hotkey-btn" runs: the dialog, modal over owner.
void ShowHotkeyDialog(QWidget* owner, RecorderHotkeys& hotkeys);

}  // namespace zav
