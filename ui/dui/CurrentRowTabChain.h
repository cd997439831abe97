#pragma once
// The buttons of a list's rows (widgets set on its items) in the Tab chain: only the current
// row's, right after the list, so that Tab goes from the list to that row's buttons and then on
// to the control after the list, however many rows there are. The buttons of every other row
// take no focus (they still take clicks). The object belongs to the list. UI thread only.

#include <QObject>

class QListWidget;
class QListWidgetItem;
class QWidget;

namespace zav {

class CurrentRowTabChain : public QObject {
  Q_OBJECT

 public:
  explicit CurrentRowTabChain(QListWidget* list);

  // To be called for each row widget once it is set on its item (rows are built as they come
  // into view).
  void RowBuilt(QListWidgetItem* item, QWidget* row);

 private:
  void CurrentChanged(QListWidgetItem* current, QListWidgetItem* previous);

  QListWidget* list_;
};

}  // namespace zav
