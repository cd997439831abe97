#pragma once
// What a row of a QListWidget is to a screen reader, whether or not a widget is set on its item:
// its texts, its states as Qt's own list items have them, and where it is on the screen. Shared
// by the accessible objects of built rows and of rows without a widget. UI thread only.

#include <QAccessible>
#include <QRect>
#include <QString>

class QListWidget;
class QModelIndex;

namespace zav {

// Name: the item's Qt::AccessibleTextRole text (its display text when it has none);
// Description: its Qt::AccessibleDescriptionRole text.
QString ListRowText(const QModelIndex& index, QAccessible::Text text);
QAccessible::State ListRowState(const QListWidget& list, const QModelIndex& index);
// In screen coordinates.
QRect ListRowRect(const QListWidget& list, const QModelIndex& index);

}  // namespace zav
