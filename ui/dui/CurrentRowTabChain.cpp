#include "CurrentRowTabChain.h"

#include <QAbstractButton>
#include <QListWidget>

namespace zav {
namespace {

// The row's buttons in the order of its skin, which is the order they are seen in.
void PutInChain(QWidget* row, bool inChain, QWidget* list) {
  QWidget* previous = list;
  for (QAbstractButton* button : row->findChildren<QAbstractButton*>()) {
    button->setFocusPolicy(inChain ? Qt::StrongFocus : Qt::NoFocus);
    if (!inChain) continue;
    QWidget::setTabOrder(previous, button);
    previous = button;
  }
}

}  // namespace

CurrentRowTabChain::CurrentRowTabChain(QListWidget* list) : QObject(list), list_(list) {
  connect(list_, &QListWidget::currentItemChanged, this, &CurrentRowTabChain::CurrentChanged);
}

void CurrentRowTabChain::RowBuilt(QListWidgetItem* item, QWidget* row) {
  if (row) PutInChain(row, item == list_->currentItem(), list_);
}

void CurrentRowTabChain::CurrentChanged(QListWidgetItem* current, QListWidgetItem* previous) {
  if (previous) {
    if (QWidget* row = list_->itemWidget(previous)) PutInChain(row, false, list_);
  }
  if (current) {
    if (QWidget* row = list_->itemWidget(current)) PutInChain(row, true, list_);
  }
}

}  // namespace zav
