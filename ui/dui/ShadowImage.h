#pragma once
// The picture of a window shadow: a band of colour around the window's shape, blurred
// outwards, with the window's own area left clear. Pure functions, no window involved.

#include <QImage>
#include <QRegion>
#include <QSize>

#include <cstdint>
#include <vector>

namespace zav {

// The inside points of one row of a window's shape: [start, end). A row without inside
// points is empty (start >= end); ShapeRows gives those the span (window width, 0).
struct RowSpan {
  int start = 0;
  int end = 0;
  bool IsEmpty() const { return start >= end; }
};

struct ShadowLook {
  int size = 0;         // how far the shadow reaches past each side of the window, pixels
  int offsetX = 5;      // displacement of the shadow from the window, pixels
  int offsetY = 5;
  int darkness = 150;   // alpha of the solid part, 0..255
  int sharpness = 5;    // width of the blur, pixels
  QRgb color = 0xFF000000;  // alpha ignored
};

// One span per window row, from the window's mask in window coordinates; an empty mask
// stands for the whole rectangle (a window without a mask is rectangular).
std::vector<RowSpan> ShapeRows(const QRegion& mask, QSize windowSize);

// Premultiplied ARGB value of color at alpha: each channel times alpha / 255, truncated.
uint32_t PremultipliedPixel(QRgb color, int alpha);

// The shadow of a window of windowSize whose rows are shapeRows: a Format_ARGB32_Premultiplied
// image of (width + 2 size) x (height + 2 size), meant to sit at the window's position moved
// by (offsetX - size, offsetY - size). Null when that size is not positive.
QImage RenderShadowImage(const std::vector<RowSpan>& shapeRows, QSize windowSize, const ShadowLook& look);

}  // namespace zav
