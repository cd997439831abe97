// The shadow's picture: size, the clear hole over the window, the blurred border's alphas,
// premultiplied colours, offsets, shapes and settings at their limits.
#include <gtest/gtest.h>

#include "dui/ShadowImage.h"

namespace zav {
namespace {

constexpr QRgb kBoxGrey = 0xFF9E9D9D;

// The boxes' look: size 4, no offset, darkness 150, sharpness 5.
ShadowLook BoxLook() {
  ShadowLook look;
  look.size = 4;
  look.offsetX = 0;
  look.offsetY = 0;
  look.color = kBoxGrey;
  return look;
}

QImage RenderRectangle(QSize size, const ShadowLook& look) {
  return RenderShadowImage(ShapeRows(QRegion(), size), size, look);
}

uint32_t Pixel(const QImage& image, int x, int y) {
  return reinterpret_cast<const uint32_t*>(image.constScanLine(y))[x];
}

int Alpha(const QImage& image, int x, int y) { return static_cast<int>(Pixel(image, x, y) >> 24); }

bool ClearInside(const QImage& image, const QRect& area) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (Pixel(image, x, y) != 0) return false;
    }
  }
  return true;
}

TEST(ShadowImageTest, BoxShadowOfARectangleIsClearOverItAndFadesOutward) {
  const QImage image = RenderRectangle(QSize(200, 100), BoxLook());
  ASSERT_EQ(image.size(), QSize(208, 108));
  EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_TRUE(ClearInside(image, QRect(4, 4, 200, 100)));

  // Kernel alpha floor((1 - dist / 6) * 150) with dist from the eroded outline, which runs
  // one pixel inside the window's edge: 25, 50, 75, 100 from the outside in, on every side.
  const int fading[] = {25, 50, 75, 100};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Alpha(image, i, 50), fading[i]) << "left " << i;
    EXPECT_EQ(Alpha(image, 207 - i, 50), fading[i]) << "right " << i;
    EXPECT_EQ(Alpha(image, 100, i), fading[i]) << "top " << i;
    EXPECT_EQ(Alpha(image, 100, 107 - i), fading[i]) << "bottom " << i;
  }
  EXPECT_EQ(Alpha(image, 2, 2), 43);  // dist sqrt(18) from the outline's corner
  EXPECT_EQ(Pixel(image, 0, 0), 0u);  // dist sqrt(50) lies beyond the kernel

  // Premultiplied: each channel times alpha / 255, truncated.
  EXPECT_EQ(Pixel(image, 3, 50), 0x643D3D3Du);  // alpha 100: 158 -> 61, 157 -> 61
  EXPECT_EQ(Pixel(image, 0, 50), 0x190F0F0Fu);  // alpha 25: 158 -> 15, 157 -> 15
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = Pixel(image, x, y);
      ASSERT_TRUE(qRed(p) <= qAlpha(p) && qGreen(p) <= qAlpha(p) && qBlue(p) <= qAlpha(p)) << x << "," << y;
    }
  }
}

TEST(ShadowImageTest, PremultipliedPixelTruncatesEachChannel) {
  EXPECT_EQ(PremultipliedPixel(kBoxGrey, 255), 0xFF9E9D9Du);
  EXPECT_EQ(PremultipliedPixel(kBoxGrey, 0), 0u);
  EXPECT_EQ(PremultipliedPixel(qRgb(255, 128, 1), 150), 0x96964B00u);  // 150, 75.29, 0.59
}

TEST(ShadowImageTest, OffsetsMoveTheHoleAndUncoverTheSolidPart) {
  ShadowLook look = BoxLook();
  look.offsetX = 3;
  look.offsetY = 2;
  const QImage image = RenderRectangle(QSize(200, 100), look);
  ASSERT_EQ(image.size(), QSize(208, 108));
  // The window now covers shadow columns 1..200 and rows 2..101.
  EXPECT_TRUE(ClearInside(image, QRect(1, 2, 200, 100)));
  // Right of it: the solid part inside the outline, then the fading border.
  const int row[] = {150, 150, 125, 100, 75, 50, 25};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Alpha(image, 201 + i, 50), row[i]) << 201 + i;
  EXPECT_EQ(Alpha(image, 0, 50), 25);
  EXPECT_EQ(Pixel(image, 201, 50), PremultipliedPixel(kBoxGrey, 150));
}

TEST(ShadowImageTest, ShapeRowsFollowTheMaskAndAWindowWithoutOneIsRectangular) {
  const std::vector<RowSpan> whole = ShapeRows(QRegion(), QSize(30, 3));
  ASSERT_EQ(whole.size(), 3u);
  for (const RowSpan& row : whole) EXPECT_TRUE(row.start == 0 && row.end == 30);

  // Two pieces on row 1, nothing on row 2, a piece reaching outside the window on row 0.
  QRegion mask(QRect(5, 0, 40, 1));
  mask += QRect(2, 1, 3, 1);
  mask += QRect(20, 1, 4, 1);
  const std::vector<RowSpan> rows = ShapeRows(mask, QSize(30, 3));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0].start == 5 && rows[0].end == 30);
  EXPECT_TRUE(rows[1].start == 2 && rows[1].end == 24);
  EXPECT_TRUE(rows[2].IsEmpty());

  // A shaped window: its cut-away corner is not clear but shadowed like the outside.
  QRegion cut(QRect(0, 0, 200, 100));
  cut -= QRect(0, 0, 20, 20);
  const QImage image = RenderShadowImage(ShapeRows(cut, QSize(200, 100)), QSize(200, 100), BoxLook());
  EXPECT_GT(Alpha(image, 4 + 10, 4 + 18), 0);
  EXPECT_TRUE(ClearInside(image, QRect(4 + 20, 4, 180, 100)));
}

TEST(ShadowImageTest, SettingsAtTheirLimitsStayInsideThePicture) {
  ShadowLook look = BoxLook();
  look.size = -20;
  EXPECT_TRUE(RenderRectangle(QSize(30, 30), look).isNull());  // nothing left to draw
  EXPECT_EQ(RenderRectangle(QSize(200, 100), look).size(), QSize(160, 60));

  for (const int size : {-5, 0, 20}) {
    for (const QPoint offset : {QPoint(-20, 20), QPoint(20, -20), QPoint(0, 0)}) {
      look.size = size;
      look.offsetX = offset.x();
      look.offsetY = offset.y();
      look.sharpness = size == 20 ? 0 : 25;
      look.darkness = 255;
      const QImage image = RenderRectangle(QSize(50, 40), look);
      ASSERT_EQ(image.size(), QSize(50 + 2 * size, 40 + 2 * size));
    }
  }
  EXPECT_TRUE(RenderRectangle(QSize(0, 100), BoxLook()).isNull());
}

}  // namespace
}  // namespace zav
