#pragma once
// Where the tray menu opens.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace zav {

// The menu's top-left corner for a click at cursor. The menu hangs below and to the right of
// the cursor; when that crosses the work area's bottom it opens upwards from the cursor (or
// from the work area's top when it is taller than the work area), and when it crosses the
// right edge it is pushed left against that edge (or to its left edge when wider). The result
// is then shifted 6 pixels right and 6 pixels up.
QPoint PlaceMenu(QPoint cursor, QSize menu, QRect workArea);

}  // namespace zav
