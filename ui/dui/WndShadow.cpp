#include "WndShadow.h"

namespace zav {

namespace {
bool InRange(int value) { return value >= -CWndShadow::kMaxExtent && value <= CWndShadow::kMaxExtent; }
}  // namespace

bool CWndShadow::SetShadowSize(int size) {
  if (!InRange(size)) return false;
  size_ = size;
  return true;
}

bool CWndShadow::SetShadowOffset(int x, int y) {
  if (!InRange(x) || !InRange(y)) return false;
  offsetX_ = x;
  offsetY_ = y;
  return true;
}

bool CWndShadow::SetShadowColor(const QColor& color) {
  color_ = color;
  return true;
}

}  // namespace zav
