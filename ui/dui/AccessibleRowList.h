#pragma once
// The accessible object of a row list (see RowListAccessibility.h): a list whose children are its
// rows, child i being the row at place i. A built row is its widget's accessible object
// (AccessibleRowWidget), a row without a widget an AccessibleListItem, which this object makes
// and registers when a screen reader first asks for it and deletes when its item goes, when the
// list is cleared and when the list goes. Made by the accessibility factory and deleted with the
// list by Qt's cache. UI thread only.

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMetaObject>

#include <unordered_map>
#include <vector>

class QListWidget;
class QListWidgetItem;

namespace zav {

class AccessibleRowList final : public QAccessibleWidget {
 public:
  // The dynamic property that marks a QListWidget as a row list.
  static constexpr const char* kProperty = "zavRowList";

  explicit AccessibleRowList(QListWidget* list);

  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;

 protected:
  ~AccessibleRowList() override;

 private:
  // The list while it is one: nullptr once it is being destroyed.
  QListWidget* List() const;
  QAccessibleInterface* ItemInterface(QListWidgetItem* item) const;
  // Deletes the objects of the rows first..last, which are about to go.
  void DropItems(int first, int last);
  void DropAllItems();

  mutable std::unordered_map<const QListWidgetItem*, QAccessible::Id> items_;
  std::vector<QMetaObject::Connection> connections_;
};

}  // namespace zav
