#pragma once
// What the keyboard does on a list whose rows act through buttons of their own: Enter (or
// Return) and Delete act on the current row, and the context-menu key, Shift+F10 or a right
// click asks for the row's menu (from one of a row's buttons, that row's, opened under it). Keys
// the list has no use for pass on to the window. When the list takes the focus, screen readers
// are told its current row has it, so they read that row rather than only the list's name. The
// object belongs to the list. UI thread only.

#include <QObject>
#include <QPoint>

#include <functional>

class QListWidget;

namespace zav {

class ListKeys : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    std::function<void(int row)> enter;                    // may be empty: Enter passes on
    std::function<void(int row)> remove;                   // may be empty: Delete passes on
    std::function<void(int row, QPoint globalPos)> menu;  // may be empty: no menu
  };

  ListKeys(QListWidget* list, Actions actions);

  // True while the keyboard is on list or one of its rows' controls.
  static bool HasFocusWithin(const QListWidget* list);
  // After the row at removedRow went: the keyboard, when it was there (hadFocus), stays in the
  // list, on the row that took the removed one's place (or the last).
  static void KeepFocusAfterRemoval(QListWidget* list, int removedRow, bool hadFocus);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Where a menu asked for from the keyboard opens: under the current row, in view.
  QPoint MenuPosition(int row) const;
  // The row whose controls have the keyboard; the current row when none has.
  int RowOfFocus() const;
  void AnnounceCurrentRow();

  QListWidget* list_;
  Actions actions_;
};

}  // namespace zav
