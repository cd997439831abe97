#include "MenuPlacement.h"

namespace zav {

namespace {
constexpr int kShiftPx = 6;  // the menu sits a little off the cursor, so the click lands beside it
}  // namespace

QPoint PlaceMenu(QPoint cursor, QSize menu, QRect workArea) {
  // Edges as exclusive bounds: a menu may end exactly on the work area's edge.
  const int workRight = workArea.x() + workArea.width();
  const int workBottom = workArea.y() + workArea.height();
  int left = cursor.x();
  int top = cursor.y();
  if (top + menu.height() > workBottom) {
    top = menu.height() < workArea.height() ? cursor.y() - menu.height() : workArea.y();
  }
  if (left + menu.width() > workRight) {
    left = menu.width() < workArea.width() ? workRight - menu.width() : workArea.x();
  }
  return {left + kShiftPx, top - kShiftPx};
}

}  // namespace zav
