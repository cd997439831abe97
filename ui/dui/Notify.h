#pragma once
// Control notifications: widget signals turned into the records that windows handle in Notify.

#include <QString>

#include <cstdint>

class QWidget;

namespace zav {

inline const QString kNotifyClick = QStringLiteral("click");                  // buttons
inline const QString kNotifySelectChanged = QStringLiteral("selectchanged");  // check and option buttons
inline const QString kNotifyItemSelect = QStringLiteral("itemselect");        // combo boxes, lists
inline const QString kNotifyValueChanged = QStringLiteral("valuechanged");    // sliders

struct TNotifyUI {
  QString type;
  QWidget* sender = nullptr;
  // click: 0; selectchanged: 1 when checked; itemselect: the new index; valuechanged: the value.
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

}  // namespace zav
