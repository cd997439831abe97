#pragma once
// CLevelMeterUI: a level meter ("LevelMeter" in skins). A thin horizontal bar for one source:
// the RMS level over -60..0 dBFS, a held peak mark and, at the right end, a clip mark. Drawn
// only when what it shows changed. Its colours are properties, so the skin's style sheet sets
// them (qproperty-levelColor and the others).
//
// UI thread only.

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>

#include "LevelMeterModel.h"

namespace zav {

class CLevelMeterUI : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QColor trackColor MEMBER trackColor_)
  Q_PROPERTY(QColor idleTrackColor MEMBER idleTrackColor_)
  Q_PROPERTY(QColor levelColor MEMBER levelColor_)
  Q_PROPERTY(QColor peakColor MEMBER peakColor_)
  Q_PROPERTY(QColor clipColor MEMBER clipColor_)
  // The colour of what lies under the meter. When the skin sets it, the meter paints every
  // pixel itself, so the window does not paint the card under it again at every frame.
  Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE SetBackgroundColor)

 public:
  static inline const QString kClassName = QStringLiteral("LevelMeter");

  // A new control for a skin element of className ("LevelMeter" in any case), else nullptr.
  static CLevelMeterUI* CreateForSkin(const QString& className, QWidget* parent);

  explicit CLevelMeterUI(QWidget* parent = nullptr);

  void ShowLevel(const SourceLevel& level);
  // Nothing is measured: the meter is empty.
  void ShowNothing();

  const MeterLook& look() const { return model_.look(); }
  QColor levelColor() const { return levelColor_; }
  QColor backgroundColor() const { return backgroundColor_; }
  void SetBackgroundColor(const QColor& color);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The bar's length in pixels: the width less the clip mark and the gap before it.
  int BarLength() const;
  // Draws again when changed, and wakes up when a held mark is due to fall.
  void Changed(bool changed);
  // Draws the meter's pieces again when its size or a colour has changed.
  void PrepareSprites();

  // The meter's pieces at its size and in its colours, drawn once: a frame is then two blits
  // and the peak mark instead of anti-aliased rounded shapes and a clip path ten times a second.
  struct Sprites {
    QSize size;
    qreal pixelRatio = 0;
    std::array<QRgb, 4> colors{};  // the ones the pieces are drawn in
    QPixmap idle;    // the idle track and clip mark, over the background
    QPixmap active;  // the same in the active track colour
    QPixmap full;    // the active track with its whole bar in the level colour
  };

  LevelMeterModel model_;
  QTimer expiry_;
  QColor trackColor_{0xe5, 0xe7, 0xeb};
  QColor idleTrackColor_{0xf0, 0xf1, 0xf4};
  QColor levelColor_{0x27, 0xb7, 0x65};
  QColor peakColor_{0x1a, 0x8a, 0x4a};
  QColor clipColor_{0xe5, 0x48, 0x4d};
  QColor backgroundColor_;  // invalid: unknown, the meter is drawn over its parent
  Sprites sprites_;
};

}  // namespace zav
