#include "AccessibleRowList.h"

#include <QListWidget>

#include <algorithm>

#include "AccessibleListItem.h"
#include "AccessibleRowWidget.h"

namespace zav {

AccessibleRowList::AccessibleRowList(QListWidget* list) : QAccessibleWidget(list, QAccessible::List) {
  const QAbstractItemModel* model = list->model();
  connections_.push_back(QObject::connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, list,
                                          [this](const QModelIndex&, int first, int last) { DropItems(first, last); }));
  connections_.push_back(
      QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, list, [this] { DropAllItems(); }));
}

// Runs when the list is destroyed (Qt's cache deletes this then) or, at exit, with the cache.
AccessibleRowList::~AccessibleRowList() {
  for (const QMetaObject::Connection& connection : connections_) QObject::disconnect(connection);
  DropAllItems();
}

QListWidget* AccessibleRowList::List() const { return qobject_cast<QListWidget*>(object()); }

int AccessibleRowList::childCount() const {
  const QListWidget* list = List();
  return list ? list->count() : 0;
}

QAccessibleInterface* AccessibleRowList::child(int index) const {
  QListWidget* list = List();
  QListWidgetItem* item = list ? list->item(index) : nullptr;
  if (!item) return nullptr;
  if (QWidget* row = list->itemWidget(item)) {
    QAccessibleInterface* built = QAccessible::queryAccessibleInterface(row);
    if (dynamic_cast<AccessibleRowWidget*>(built)) return built;
  }
  return ItemInterface(item);
}

QAccessibleInterface* AccessibleRowList::ItemInterface(QListWidgetItem* item) const {
  const auto known = items_.find(item);
  if (known != items_.end()) return QAccessible::accessibleInterface(known->second);
  auto* made = new AccessibleListItem(List(), item);
  items_.emplace(item, QAccessible::registerAccessibleInterface(made));
  return made;
}

int AccessibleRowList::indexOfChild(const QAccessibleInterface* child) const {
  if (const auto* item = dynamic_cast<const AccessibleListItem*>(child)) return item->Row();
  if (const auto* row = dynamic_cast<const AccessibleRowWidget*>(child)) {
    const AccessibleRowWidget::Place place = row->Where();
    if (place.list && place.list == List()) return place.index.row();
  }
  return -1;
}

QAccessibleInterface* AccessibleRowList::childAt(int x, int y) const {
  const QListWidget* list = List();
  if (!list) return nullptr;
  const QPoint at = list->viewport()->mapFromGlobal(QPoint(x, y));
  if (!list->viewport()->rect().contains(at)) return nullptr;
  const QModelIndex index = list->indexAt(at);
  return index.isValid() ? child(index.row()) : nullptr;
}

// The current row while the list itself has the keyboard, else the row control that has it.
QAccessibleInterface* AccessibleRowList::focusChild() const {
  const QListWidget* list = List();
  if (!list) return nullptr;
  if (list->hasFocus()) return list->currentRow() >= 0 ? child(list->currentRow()) : nullptr;
  return QAccessibleWidget::focusChild();
}

void AccessibleRowList::DropItems(int first, int last) {
  const QListWidget* list = List();
  if (!list) return DropAllItems();
  const auto drop = [](QAccessible::Id id) {
    if (QAccessible::accessibleInterface(id)) QAccessible::deleteAccessibleInterface(id);
  };
  if (static_cast<size_t>(last - first + 1) <= items_.size()) {
    for (int row = first; row <= last; ++row) {
      const auto known = items_.find(list->item(row));
      if (known == items_.end()) continue;
      drop(known->second);
      items_.erase(known);
    }
    return;
  }
  std::erase_if(items_, [&](const auto& entry) {
    const int row = list->row(entry.first);
    if (row < first || row > last) return false;
    drop(entry.second);
    return true;
  });
}

void AccessibleRowList::DropAllItems() {
  // At exit Qt's cache deletes what it holds in any order: an object may have gone already.
  for (const auto& [item, id] : items_) {
    if (QAccessible::accessibleInterface(id)) QAccessible::deleteAccessibleInterface(id);
  }
  items_.clear();
}

}  // namespace zav
