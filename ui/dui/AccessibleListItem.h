#pragma once
// The accessible object of a row of a row list (see RowListAccessibility.h) that has no widget
// set on its item: a list item with the item's texts and states and no children. Made, registered
// and deleted by the list's accessible object (AccessibleRowList), which deletes it before its
// item goes. UI thread only.

#include <QAccessibleInterface>
#include <QPointer>

class QListWidget;
class QListWidgetItem;

namespace zav {

class AccessibleListItem final : public QAccessibleInterface {
 public:
  AccessibleListItem(QListWidget* list, QListWidgetItem* item);

  // The place of the row in the list; -1 once the list is going.
  int Row() const;

  bool isValid() const override;
  QObject* object() const override { return nullptr; }
  QWindow* window() const override;
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override;

 private:
  // The list while it is one: nullptr once it is being destroyed.
  QListWidget* List() const;

  QPointer<QListWidget> list_;
  QListWidgetItem* item_;
};

}  // namespace zav
