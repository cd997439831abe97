#include "AccessibleListItem.h"

#include <QListWidget>

#include "ListRowFacts.h"

namespace zav {

AccessibleListItem::AccessibleListItem(QListWidget* list, QListWidgetItem* item) : list_(list), item_(item) {}

// A list in its destructors is no QListWidget any more (its QPointer clears only at the end).
QListWidget* AccessibleListItem::List() const { return qobject_cast<QListWidget*>(list_.data()); }

int AccessibleListItem::Row() const {
  const QListWidget* list = List();
  return list ? list->row(item_) : -1;
}

bool AccessibleListItem::isValid() const { return Row() >= 0; }

QWindow* AccessibleListItem::window() const {
  QAccessibleInterface* list = parent();
  return list ? list->window() : nullptr;
}

QAccessibleInterface* AccessibleListItem::parent() const {
  QListWidget* list = List();
  return list ? QAccessible::queryAccessibleInterface(list) : nullptr;
}

QString AccessibleListItem::text(QAccessible::Text t) const {
  const int row = Row();
  return row >= 0 ? ListRowText(List()->model()->index(row, 0), t) : QString();
}

QRect AccessibleListItem::rect() const {
  const int row = Row();
  return row >= 0 ? ListRowRect(*List(), List()->model()->index(row, 0)) : QRect();
}

QAccessible::State AccessibleListItem::state() const {
  const int row = Row();
  if (row < 0) {
    QAccessible::State gone;
    gone.invalid = true;
    return gone;
  }
  return ListRowState(*List(), List()->model()->index(row, 0));
}

}  // namespace zav
