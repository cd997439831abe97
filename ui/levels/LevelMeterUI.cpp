#include "LevelMeterUI.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace zav {
namespace {

constexpr int kClipMarkPx = 6;
constexpr int kClipGapPx = 3;
constexpr int kPeakMarkPx = 2;
constexpr int kHintWidthPx = 120;
constexpr int kHintHeightPx = 6;

}  // namespace

CLevelMeterUI* CLevelMeterUI::CreateForSkin(const QString& className, QWidget* parent) {
  if (className.compare(kClassName, Qt::CaseInsensitive) != 0) return nullptr;
  return new CLevelMeterUI(parent);
}

CLevelMeterUI::CLevelMeterUI(QWidget* parent) : QWidget(parent), model_(kHintWidthPx) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  expiry_.setSingleShot(true);
  expiry_.setTimerType(Qt::CoarseTimer);
  connect(&expiry_, &QTimer::timeout, this, [this] { Changed(model_.Advance(LevelMeterModel::Clock::now())); });
}

QSize CLevelMeterUI::sizeHint() const { return {kHintWidthPx, kHintHeightPx}; }

void CLevelMeterUI::ShowLevel(const SourceLevel& level) {
  Changed(model_.Update(level, LevelMeterModel::Clock::now()));
}

void CLevelMeterUI::ShowNothing() { Changed(model_.Clear()); }

void CLevelMeterUI::SetBackgroundColor(const QColor& color) {
  backgroundColor_ = color;
  setAttribute(Qt::WA_OpaquePaintEvent, color.isValid() && color.alpha() == 255);
  update();
}

int CLevelMeterUI::BarLength() const { return std::max(width() - kClipMarkPx - kClipGapPx, 1); }

void CLevelMeterUI::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Changed(model_.SetSteps(BarLength()));
}

void CLevelMeterUI::Changed(bool changed) {
  if (changed) update();
  const auto next = model_.NextChange();
  if (!next) {
    expiry_.stop();
    return;
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - LevelMeterModel::Clock::now());
  const int waitMs = static_cast<int>(std::max<int64_t>(wait.count(), 0));
  // Reports usually come faster than marks fall; the timer only serves when they stop.
  if (!expiry_.isActive() || expiry_.remainingTime() > waitMs) expiry_.start(waitMs);
}

void CLevelMeterUI::PrepareSprites() {
  const std::array<QRgb, 4> colors{trackColor_.rgba(), idleTrackColor_.rgba(), levelColor_.rgba(),
                                   backgroundColor_.rgba()};
  const qreal ratio = devicePixelRatioF();
  if (sprites_.size == size() && sprites_.pixelRatio == ratio && sprites_.colors == colors) return;
  sprites_.size = size();
  sprites_.pixelRatio = ratio;
  sprites_.colors = colors;

  const qreal h = height();
  const qreal radius = h / 2;
  const QRectF bar(0, 0, BarLength(), h);
  const QRectF clipMark(width() - kClipMarkPx, 0, kClipMarkPx, h);
  const bool opaque = testAttribute(Qt::WA_OpaquePaintEvent);
  auto track = [&](const QColor& color, bool filled) {
    QPixmap pixmap(size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(opaque ? backgroundColor_ : QColor(Qt::transparent));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(bar, radius, radius);
    painter.drawRoundedRect(clipMark, radius, radius);
    if (filled) {
      // The level is clipped to the track's rounded shape, so a short bar keeps a round start.
      QPainterPath shape;
      shape.addRoundedRect(bar, radius, radius);
      painter.setClipPath(shape);
      painter.fillRect(bar, levelColor_);
    }
    return pixmap;
  };
  sprites_.idle = track(idleTrackColor_, false);
  sprites_.active = track(trackColor_, false);
  sprites_.full = track(trackColor_, true);
}

void CLevelMeterUI::paintEvent(QPaintEvent*) {
  const MeterLook& look = model_.look();
  PrepareSprites();
  QPainter painter(this);
  if (!look.active) {
    painter.drawPixmap(0, 0, sprites_.idle);
    return;
  }
  painter.drawPixmap(0, 0, sprites_.active);
  const qreal h = height();
  if (look.barSteps > 0) {
    const qreal ratio = sprites_.pixelRatio;
    painter.drawPixmap(QRectF(0, 0, look.barSteps, h), sprites_.full, QRectF(0, 0, look.barSteps * ratio, h * ratio));
  }
  if (look.peakStep > 0) {
    const qreal x = std::clamp<qreal>(look.peakStep - kPeakMarkPx, 0, BarLength() - kPeakMarkPx);
    painter.fillRect(QRectF(x, 0, kPeakMarkPx, h), peakColor_);
  }
  if (look.clip) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(clipColor_);
    const qreal radius = h / 2;
    painter.drawRoundedRect(QRectF(width() - kClipMarkPx, 0, kClipMarkPx, h), radius, radius);
  }
}

}  // namespace zav
