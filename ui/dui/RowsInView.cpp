#include "RowsInView.h"

#include <QListWidget>
#include <QScrollBar>

#include <algorithm>
#include <memory>

#include "SkinLoader.h"

namespace zav {

int SampleRowHeight(SkinTemplate& rowTemplate, int fallback, const std::function<void(QWidget&)>& look) {
  int height = 0;
  if (std::unique_ptr<QWidget> sample{rowTemplate.Build()}) {
    height = std::max(sample->minimumHeight(), sample->sizeHint().height());
    if (look) look(*sample);
  }
  return height > 0 ? height : fallback;
}

RowsInView RowsNearTheView(const QListWidget& list, int rowHeight) {
  const int top = list.verticalScrollBar()->value();
  const int firstInView = top / rowHeight;
  const int lastInView = (top + list.viewport()->height()) / rowHeight;
  RowsInView rows;
  rows.buildFrom = std::max(0, firstInView - kRowsBuiltAhead);
  rows.buildTo = std::min(list.count() - 1, lastInView + kRowsBuiltAhead);
  rows.keepFrom = firstInView - kRowsKeptAround;
  rows.keepTo = lastInView + kRowsKeptAround;
  return rows;
}

}  // namespace zav
