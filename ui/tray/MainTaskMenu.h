#pragma once
// CMainTaskMenu: the tray icon's menu, skin "MainTaskMenu.xml". Its six entries post their
// commands (kMenuQuit ... kMenuUpgrade) to the owner window; any click in it, or a click
// elsewhere that takes its focus away, closes it. From the keyboard, as a menu answers: the
// first entry has the focus when it opens, Down and Up (Tab and Shift+Tab) move it round the
// entries, Home and End go to the first and last, Enter, Return and Space pick the entry, and
// Escape closes the menu. Each right click makes a new menu, which deletes itself when it
// closes.

#include <QList>
#include <QPointer>

class QAbstractButton;

#include "dui/WindowImplBase.h"

namespace zav {

class CMainTaskMenu : public WindowImplBase {
  Q_OBJECT

 public:
  explicit CMainTaskMenu(QString skinFile = QStringLiteral("MainTaskMenu.xml")) : skinFile_(std::move(skinFile)) {}

  // Makes the menu window, places it at cursor within the work area of the screen there, shows
  // it on top and gives it the focus. False when its skin cannot be built; the menu is then
  // destroyed (and deleted).
  bool Init(WindowImplBase* owner, QPoint cursor);

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("CDuiMenu "); }
  QString GetSkinFile() override { return skinFile_; }
  void Notify(TNotifyUI& msg) override;
  void OnKillFocus() override;
  void keyPressEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void OnFinalMessage() override { delete this; }

 private:
  // The entries from top to bottom.
  QList<QAbstractButton*> Entries() const;
  // Moves the focus by step entries (wrapping), or to the first or last.
  void MoveFocus(int step);

  QString skinFile_;
  QPointer<WindowImplBase> owner_;
};

// The command an entry of the menu posts (kMenuQuit ... kMenuUpgrade), or 0 for a control
// that is no entry.
unsigned MenuCommandOf(const QString& entryName);

// The right click on the tray icon: a new menu at the cursor for owner.
void OpenMainTaskMenu(WindowImplBase* owner, QPoint cursor);

}  // namespace zav
