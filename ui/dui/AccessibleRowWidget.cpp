#include "AccessibleRowWidget.h"

#include <QAbstractButton>
#include <QListWidget>
#include <QPersistentModelIndex>

#include "ListRowFacts.h"

namespace zav {

AccessibleRowWidget::AccessibleRowWidget(QWidget* row) : QAccessibleWidget(row, QAccessible::ListItem) {}

QListWidget* AccessibleRowWidget::List() const {
  const QWidget* row = widget();
  QWidget* viewport = row ? row->parentWidget() : nullptr;
  // A list in its destructors is no QListWidget any more, so a row dropped with it finds none.
  auto* list = viewport ? qobject_cast<QListWidget*>(viewport->parentWidget()) : nullptr;
  return list && list->viewport() == viewport ? list : nullptr;
}

AccessibleRowWidget::Place AccessibleRowWidget::Where() const {
  QListWidget* list = List();
  if (!list) return {};
  const QWidget* row = widget();
  const auto index = row->property(kIndexProperty).value<QPersistentModelIndex>();
  if (!index.isValid() || list->indexWidget(index) != row) return {};
  return {list, index};
}

QList<QAbstractButton*> AccessibleRowWidget::Controls() const {
  const QWidget* row = widget();
  return row ? row->findChildren<QAbstractButton*>() : QList<QAbstractButton*>();
}

// The list also while the row is being set on its item (Qt announces the new parent before the
// list knows its row widget): the viewport in between is no part of the tree.
QAccessibleInterface* AccessibleRowWidget::parent() const {
  QListWidget* list = List();
  return list ? QAccessible::queryAccessibleInterface(list) : QAccessibleWidget::parent();
}

int AccessibleRowWidget::childCount() const { return static_cast<int>(Controls().size()); }

QAccessibleInterface* AccessibleRowWidget::child(int index) const {
  const QList<QAbstractButton*> controls = Controls();
  return index >= 0 && index < controls.size() ? QAccessible::queryAccessibleInterface(controls[index]) : nullptr;
}

int AccessibleRowWidget::indexOfChild(const QAccessibleInterface* child) const {
  if (!child || !child->object()) return -1;
  return static_cast<int>(Controls().indexOf(qobject_cast<QAbstractButton*>(child->object())));
}

QAccessibleInterface* AccessibleRowWidget::childAt(int x, int y) const {
  for (QAbstractButton* control : Controls()) {
    const QRect shown(control->mapToGlobal(QPoint(0, 0)), control->size());
    if (control->isVisible() && shown.contains(x, y)) return QAccessible::queryAccessibleInterface(control);
  }
  return nullptr;
}

QAccessibleInterface* AccessibleRowWidget::focusChild() const {
  for (QAbstractButton* control : Controls()) {
    if (control->hasFocus()) return QAccessible::queryAccessibleInterface(control);
  }
  return nullptr;
}

QString AccessibleRowWidget::text(QAccessible::Text t) const {
  const Place place = Where();
  return place.list ? ListRowText(place.index, t) : QAccessibleWidget::text(t);
}

QRect AccessibleRowWidget::rect() const {
  const Place place = Where();
  return place.list ? ListRowRect(*place.list, place.index) : QAccessibleWidget::rect();
}

QAccessible::State AccessibleRowWidget::state() const {
  const Place place = Where();
  if (!place.list) return QAccessibleWidget::state();
  QAccessible::State state = ListRowState(*place.list, place.index);
  if (!widget()->isVisible()) state.invisible = true;
  return state;
}

}  // namespace zav
