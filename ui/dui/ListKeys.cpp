#include "ListKeys.h"

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QListWidget>

namespace zav {

ListKeys::ListKeys(QListWidget* list, Actions actions) : QObject(list), list_(list), actions_(std::move(actions)) {
  list_->installEventFilter(this);
  list_->viewport()->installEventFilter(this);
}

bool ListKeys::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn && watched == list_) {
    // After the list's own announcement, which this event is on its way to.
    QMetaObject::invokeMethod(this, &ListKeys::AnnounceCurrentRow, Qt::QueuedConnection);
    return false;
  }
  if (event->type() == QEvent::ContextMenu && actions_.menu) {
    // The context-menu key reaches the list (the platform turns it into this event); a right
    // click reaches the viewport, first through the row widget under it, which passes it on.
    auto* menuEvent = static_cast<QContextMenuEvent*>(event);
    int row = RowOfFocus();
    QPoint at = MenuPosition(row);
    if (watched == list_->viewport() && menuEvent->reason() == QContextMenuEvent::Mouse) {
      row = list_->row(list_->itemAt(menuEvent->pos()));
      if (row >= 0) list_->setCurrentRow(row);
      at = menuEvent->globalPos();
    }
    if (row >= 0) actions_.menu(row, at);
    return true;
  }
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
  if (watched == list_->viewport()) {
    // A key a row's button passed on: only the menu is the row's.
    if (key->key() != Qt::Key_F10 || modifiers != Qt::ShiftModifier || !actions_.menu) return false;
    const int row = RowOfFocus();
    if (row >= 0) actions_.menu(row, MenuPosition(row));
    return row >= 0;
  }
  if (watched != list_) return false;
  const int row = list_->currentRow();
  if (row < 0 || modifiers & ~Qt::ShiftModifier) return false;
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!actions_.enter || modifiers != Qt::NoModifier) return false;
      if (!key->isAutoRepeat()) actions_.enter(row);
      return true;
    case Qt::Key_Delete:
      if (!actions_.remove || modifiers != Qt::NoModifier) return false;
      if (!key->isAutoRepeat()) actions_.remove(row);
      return true;
    case Qt::Key_F10:
      if (!actions_.menu || modifiers != Qt::ShiftModifier) return false;
      actions_.menu(row, MenuPosition(row));
      return true;
    default:
      return false;
  }
}

// What the list does itself when its current row changes while it has the focus.
void ListKeys::AnnounceCurrentRow() {
  if (!QAccessible::isActive() || !list_->hasFocus() || list_->currentRow() < 0) return;
  // The list's children are its rows (Qt's own list and a row list alike).
  QAccessibleInterface* view = QAccessible::queryAccessibleInterface(list_);
  QAccessibleInterface* row = view ? view->child(list_->currentRow()) : nullptr;
  if (!row) return;
  QAccessibleEvent focus(list_, QAccessible::Focus);
  focus.setChild(view->indexOfChild(row));
  QAccessible::updateAccessibility(&focus);
}

int ListKeys::RowOfFocus() const {
  const QWidget* focus = QApplication::focusWidget();
  if (focus && focus != list_ && list_->viewport()->isAncestorOf(focus)) {
    const int row = list_->row(list_->itemAt(focus->mapTo(list_->viewport(), QPoint(0, 0))));
    if (row >= 0) return row;
  }
  return list_->currentRow();
}

bool ListKeys::HasFocusWithin(const QListWidget* list) {
  const QWidget* focus = QApplication::focusWidget();
  return focus && (focus == list || list->isAncestorOf(focus));
}

void ListKeys::KeepFocusAfterRemoval(QListWidget* list, int removedRow, bool hadFocus) {
  if (!hadFocus || list->count() == 0) {
    if (hadFocus) list->setFocus(Qt::OtherFocusReason);
    return;
  }
  list->setCurrentRow(std::min(removedRow, list->count() - 1));
  list->setFocus(Qt::OtherFocusReason);
}

QPoint ListKeys::MenuPosition(int row) const {
  const QRect shown = list_->visualItemRect(list_->item(row)).intersected(list_->viewport()->rect());
  const QPoint at = shown.isValid() ? QPoint(shown.left() + shown.height() / 2, shown.bottom())
                                    : list_->viewport()->rect().center();
  return list_->viewport()->mapToGlobal(at);
}

}  // namespace zav
