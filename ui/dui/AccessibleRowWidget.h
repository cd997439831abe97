#pragma once
// The accessible object of a row widget set on an item of a row list (see
// RowListAccessibility.h): it plays that item's row, a list item with the item's texts, states
// and place, whose parent is the list and whose children are the row's buttons and check boxes
// (which sit directly in the row, so that their own parent is this row). A row widget that is not
// set on its item (dropped, while it waits for deletion) keeps the list as its parent but has no
// place in it and reads as a plain widget. Made by the accessibility factory and deleted with its
// widget by Qt's cache. UI thread only.

#include <QAccessibleWidget>
#include <QList>
#include <QModelIndex>

class QAbstractButton;
class QListWidget;

namespace zav {

class AccessibleRowWidget final : public QAccessibleWidget {
 public:
  // The dynamic property of a row widget that holds its item's QPersistentModelIndex.
  static constexpr const char* kIndexProperty = "zavListRowIndex";

  explicit AccessibleRowWidget(QWidget* row);

  struct Place {
    QListWidget* list = nullptr;
    QModelIndex index;
  };
  // The list and the item while the widget is set on it; an empty Place otherwise.
  Place Where() const;

  QAccessibleInterface* parent() const override;
  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;
  QString text(QAccessible::Text t) const override;
  QRect rect() const override;
  QAccessible::State state() const override;

 private:
  // The list whose viewport holds the row; nullptr once the list is being destroyed.
  QListWidget* List() const;
  QList<QAbstractButton*> Controls() const;
};

}  // namespace zav
