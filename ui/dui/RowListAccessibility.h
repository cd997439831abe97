#pragma once
// Screen readers and a QListWidget whose rows are widgets set on its items (setItemWidget). Qt
// reads such a list as items without children, so the rows' buttons, which Tab reaches, hang
// nowhere in the tree. A row list reads instead as list > rows > each built row's buttons and
// check boxes: every row is a list item named by its item's Qt::AccessibleTextRole text, with
// the states and place Qt gives its own items, and a built row's controls are its children, whose
// parent is that row, whose parent is the list. UI thread only.

class QListWidget;
class QListWidgetItem;
class QWidget;

namespace zav {

// Makes list a row list (its accessible object already made is replaced).
void ExposeRowList(QListWidget* list);
// Makes row, the widget that is to be (or has been) set on item of list, that item's row in the
// tree; best called before setItemWidget, which makes the row's accessible object.
void ExposeRow(QListWidget* list, QListWidgetItem* item, QWidget* row);

}  // namespace zav
