#include "RowListAccessibility.h"

#include <QAccessible>
#include <QListWidget>
#include <QPersistentModelIndex>

#include "AccessibleRowList.h"
#include "AccessibleRowWidget.h"

namespace zav {
namespace {

// Qt asks the factories for every class of an object, the most derived first: a marked object is
// answered at the first.
QAccessibleInterface* RowListFactory(const QString&, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  if (auto* list = qobject_cast<QListWidget*>(object); list && list->property(AccessibleRowList::kProperty).toBool()) {
    return new AccessibleRowList(list);
  }
  if (object->property(AccessibleRowWidget::kIndexProperty).isValid()) {
    return new AccessibleRowWidget(static_cast<QWidget*>(object));
  }
  return nullptr;
}

void InstallFactory() {
  static const bool installed = [] {
    QAccessible::installFactory(&RowListFactory);
    return true;
  }();
  (void)installed;
}

// Qt makes a widget's accessible object when it first announces something about the widget, such
// as being made or given a parent, which may be before it was marked.
template <typename Ours>
void UseOurs(QObject* object) {
  QAccessibleInterface* made = QAccessible::queryAccessibleInterface(object);
  if (!made || dynamic_cast<Ours*>(made)) return;
  QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
  QAccessible::queryAccessibleInterface(object);
}

}  // namespace

void ExposeRowList(QListWidget* list) {
  InstallFactory();
  list->setProperty(AccessibleRowList::kProperty, true);
  UseOurs<AccessibleRowList>(list);
}

void ExposeRow(QListWidget* list, QListWidgetItem* item, QWidget* row) {
  InstallFactory();
  row->setProperty(AccessibleRowWidget::kIndexProperty,
                   QVariant::fromValue(QPersistentModelIndex(list->model()->index(list->row(item), 0))));
  UseOurs<AccessibleRowWidget>(row);
}

}  // namespace zav
