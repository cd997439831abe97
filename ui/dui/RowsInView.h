#pragma once
// Long lists whose rows are built from a skin template only while they are near the view: the
// height every row has, and which rows to build and which to keep as the list scrolls.

#include <functional>

class QListWidget;
class QWidget;

namespace zav {

class SkinTemplate;

// Rows this far beyond the view are built ahead, so a short scroll shows no empty row.
inline constexpr int kRowsBuiltAhead = 4;
// Rows further out of view than this are dropped again.
inline constexpr int kRowsKeptAround = 24;

// The height of a row built from the template (a sample built once and thrown away), or
// fallback when the template builds nothing. look sees the sample first, for what else a list
// wants to know of its rows.
int SampleRowHeight(SkinTemplate& rowTemplate, int fallback, const std::function<void(QWidget&)>& look = {});

struct RowsInView {
  int buildFrom = 0;  // the rows [buildFrom, buildTo] are to be built
  int buildTo = -1;
  int keepFrom = 0;  // built rows outside [keepFrom, keepTo] are to be dropped
  int keepTo = -1;
  bool Keeps(int row) const { return row >= keepFrom && row <= keepTo; }
};

// Every row has the same height, so the rows in view follow from the scroll position alone,
// also before the list has laid its new items out.
RowsInView RowsNearTheView(const QListWidget& list, int rowHeight);

}  // namespace zav
