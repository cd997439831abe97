#include "ShadowImage.h"

#include <algorithm>
#include <cmath>

namespace zav {

namespace {

// Rows of the shadow, each a span in shadow columns, with an empty row before the first and
// after the last so that every row has two neighbours.
class SpanTable {
 public:
  SpanTable(int rowCount, RowSpan empty) : rows_(static_cast<size_t>(rowCount) + 2, empty) {}

  int RowCount() const { return static_cast<int>(rows_.size()) - 2; }
  // r runs from -1 (the leading empty row) to RowCount() (the trailing one).
  RowSpan& operator[](int r) { return rows_[static_cast<size_t>(r + 1)]; }
  const RowSpan& operator[](int r) const { return rows_[static_cast<size_t>(r + 1)]; }

  // Every row shrinks to what it shares with both neighbours, one pixel further in.
  void Erode() {
    std::vector<RowSpan> eroded = rows_;
    for (size_t i = 1; i + 1 < rows_.size(); ++i) {
      eroded[i].start = std::max({rows_[i - 1].start, rows_[i].start, rows_[i + 1].start}) + 1;
      eroded[i].end = std::min({rows_[i - 1].end, rows_[i].end, rows_[i + 1].end}) - 1;
    }
    rows_.swap(eroded);
  }

 private:
  std::vector<RowSpan> rows_;
};

// The blur's brush: a disc of radius `radius` whose alpha falls off outside `centre`.
class Kernel {
 public:
  Kernel(int radius, int centre, int sharpness, int darkness, QRgb color)
      : radius_(radius), side_(2 * radius + 1), values_(static_cast<size_t>(side_) * side_, 0) {
    for (int j = -radius; j <= radius; ++j) {
      for (int i = -radius; i <= radius; ++i) {
        const double dist = std::sqrt(static_cast<double>(i * i + j * j));
        uint32_t value = 0;
        if (dist < centre) {
          value = PremultipliedPixel(color, darkness);
        } else if (dist <= radius) {
          // (1 - (dist - centre) / (sharpness + 1)) * darkness, arranged so that whole
          // distances give whole alphas exactly instead of one less.
          const double alpha = (sharpness + 1 - (dist - centre)) * darkness / (sharpness + 1);
          value = PremultipliedPixel(color, static_cast<int>(std::floor(alpha)));
        }
        values_[static_cast<size_t>((j + radius) * side_ + (i + radius))] = value;
      }
    }
  }

  // Keeps in every covered pixel the larger of pixel and kernel value; as 32-bit numbers
  // that compares alpha first.
  void StampAt(QImage& image, int cx, int cy) const {
    for (int j = -radius_; j <= radius_; ++j) {
      const int y = cy + j;
      if (y < 0 || y >= image.height()) continue;
      auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
      const uint32_t* row = &values_[static_cast<size_t>((j + radius_) * side_)];
      for (int i = -radius_; i <= radius_; ++i) {
        const int x = cx + i;
        if (x < 0 || x >= image.width()) continue;
        line[x] = std::max(line[x], row[i + radius_]);
      }
    }
  }

 private:
  int radius_;
  int side_;
  std::vector<uint32_t> values_;
};

void FillRow(QImage& image, int y, int from, int to, uint32_t value) {
  from = std::max(from, 0);
  to = std::min(to, image.width());
  if (from >= to) return;
  auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
  std::fill(line + from, line + to, value);
}

}  // namespace

std::vector<RowSpan> ShapeRows(const QRegion& mask, QSize windowSize) {
  const int width = windowSize.width();
  const int height = std::max(windowSize.height(), 0);
  if (mask.isEmpty()) return std::vector<RowSpan>(static_cast<size_t>(height), RowSpan{0, width});
  std::vector<RowSpan> rows(static_cast<size_t>(height), RowSpan{width, 0});
  const QRect window(0, 0, width, height);
  for (const QRect& rect : mask) {
    const QRect inside = rect.intersected(window);
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
      RowSpan& row = rows[static_cast<size_t>(y)];
      row.start = std::min(row.start, inside.left());
      row.end = std::max(row.end, inside.right() + 1);
    }
  }
  return rows;
}

uint32_t PremultipliedPixel(QRgb color, int alpha) {
  const auto a = static_cast<uint32_t>(std::clamp(alpha, 0, 255));
  return (a << 24) | ((qRed(color) * a / 255) << 16) | ((qGreen(color) * a / 255) << 8) |
         (qBlue(color) * a / 255);
}

QImage RenderShadowImage(const std::vector<RowSpan>& shapeRows, QSize windowSize, const ShadowLook& look) {
  const int pw = windowSize.width();
  const int ph = windowSize.height();
  const int s = look.size;
  const int sw = pw + 2 * s;
  const int sh = ph + 2 * s;
  if (pw <= 0 || ph <= 0 || sw <= 0 || sh <= 0) return {};
  QImage image(sw, sh, QImage::Format_ARGB32_Premultiplied);
  image.fill(0);

  const RowSpan empty{pw, 0};
  auto shapeRow = [&](int y) { return y < static_cast<int>(shapeRows.size()) ? shapeRows[y] : empty; };

  // The window's rows in shadow rows, moved in by the shadow's size.
  SpanTable rows(std::max(ph, sh), empty);
  for (int y = 0; y < ph; ++y) {
    const int r = y + s;
    if (r < 0 || r >= rows.RowCount()) continue;
    const RowSpan span = shapeRow(y);
    if (!span.IsEmpty()) rows[r] = {span.start + s, span.end + s};
  }
  const int h = look.sharpness;
  const int d = look.darkness;
  for (int pass = 0; pass < h - s; ++pass) rows.Erode();

  // Blurred border: the kernel runs along the start and the end of every row, and across
  // the parts of a row that its neighbours do not cover.
  const int k = std::max(s, h);
  const Kernel kernel(k, std::max(s - h, 0), h, d, look.color);
  for (int r = k; r < sh - k; ++r) {
    const RowSpan span = rows[r];
    if (span.IsEmpty()) continue;
    const RowSpan above = rows[r - 1];
    const RowSpan below = rows[r + 1];
    int x = span.start;
    for (const int to = std::min(std::max(above.start, below.start) + 1, span.end); x < to; ++x) {
      kernel.StampAt(image, x, r);
    }
    for (x = std::max(x, std::min(above.end, below.end) - 1); x < span.end; ++x) kernel.StampAt(image, x, r);
  }

  // Solid part inside the border, then the hole where the window itself lies.
  const uint32_t solid = PremultipliedPixel(look.color, d);
  const int shift = s - look.offsetX;
  const int lastRow = std::max(sh - k, std::min(ph + s - look.offsetY, ph + 2 * s));
  for (int r = std::min(k, std::max(s - look.offsetY, 0)); r < lastRow; ++r) {
    const RowSpan span = rows[r];
    const int p = r - s + look.offsetY;
    if (p < 0 || p >= ph) {
      FillRow(image, r, span.start, span.end, solid);
      continue;
    }
    const RowSpan window = shapeRow(p);
    FillRow(image, r, span.start, std::min(window.start + shift, span.end), solid);
    FillRow(image, r, window.start + shift, window.end + shift, 0);
    FillRow(image, r, std::max(window.end + shift, span.start), span.end, solid);
  }
  return image;
}

}  // namespace zav
