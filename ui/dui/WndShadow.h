#pragma once
// CWndShadow: the soft drop shadow of a frameless window. This keeps the settings and the
// attachment; drawing the shadow comes with the custom-drawing work.

#include <QColor>
#include <QPointer>
#include <QWidget>

namespace zav {

class CWndShadow {
 public:
  static constexpr int kMaxExtent = 20;  // size and offsets lie in -20..20 pixels

  virtual ~CWndShadow() = default;

  void AttachTo(QWidget* parent) { parent_ = parent; }
  QWidget* Parent() const { return parent_; }

  // False (nothing changes) outside -20..20.
  bool SetShadowSize(int size);
  bool SetShadowOffset(int x, int y);
  bool SetShadowColor(const QColor& color);

  int ShadowSize() const { return size_; }
  int OffsetX() const { return offsetX_; }
  int OffsetY() const { return offsetY_; }
  QColor ShadowColor() const { return color_; }
  int Darkness() const { return darkness_; }
  int Sharpness() const { return sharpness_; }

 private:
  QPointer<QWidget> parent_;
  int size_ = 0;
  int offsetX_ = 5;
  int offsetY_ = 5;
  int darkness_ = 150;
  int sharpness_ = 5;
  QColor color_ = Qt::black;
};

}  // namespace zav
