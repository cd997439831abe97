#include "ListRowFacts.h"

#include <QItemSelectionModel>
#include <QListWidget>

namespace zav {

QString ListRowText(const QModelIndex& index, QAccessible::Text text) {
  switch (text) {
    case QAccessible::Name: {
      const QString name = index.data(Qt::AccessibleTextRole).toString();
      return name.isEmpty() ? index.data(Qt::DisplayRole).toString() : name;
    }
    case QAccessible::Description:
      return index.data(Qt::AccessibleDescriptionRole).toString();
    default:
      return {};
  }
}

QAccessible::State ListRowState(const QListWidget& list, const QModelIndex& index) {
  QAccessible::State state;
  if (!list.viewport()->rect().intersects(list.visualRect(index)) || !list.isVisible()) {
    state.invisible = true;
    state.offscreen = true;
  }
  const Qt::ItemFlags flags = index.flags();
  if (flags & Qt::ItemIsSelectable) {
    state.selectable = true;
    state.focusable = true;
    state.multiSelectable = list.selectionMode() == QAbstractItemView::MultiSelection;
    state.extSelectable = list.selectionMode() == QAbstractItemView::ExtendedSelection;
  }
  if (const QItemSelectionModel* selection = list.selectionModel()) {
    state.selected = selection->isSelected(index);
    state.focused = selection->currentIndex() == index;  // as Qt's items: the current one
  }
  state.disabled = !(flags & Qt::ItemIsEnabled);
  return state;
}

QRect ListRowRect(const QListWidget& list, const QModelIndex& index) {
  const QRect rect = list.visualRect(index);
  return rect.translated(list.viewport()->mapToGlobal(QPoint(0, 0)));
}

}  // namespace zav
