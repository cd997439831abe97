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

void CLevelMeterUI::paintEvent(QPaintEvent*) {
  const MeterLook& look = model_.look();
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  if (testAttribute(Qt::WA_OpaquePaintEvent)) painter.fillRect(rect(), backgroundColor_);
  const qreal h = height();
  const qreal radius = h / 2;
  const QRectF bar(0, 0, BarLength(), h);
  const QRectF clipMark(width() - kClipMarkPx, 0, kClipMarkPx, h);

  painter.setBrush(look.active ? trackColor_ : idleTrackColor_);
  painter.drawRoundedRect(bar, radius, radius);
  painter.drawRoundedRect(clipMark, radius, radius);
  if (!look.active) return;

  if (look.barSteps > 0) {
    // The level is clipped to the track's rounded shape, so a short bar keeps a round start.
    QPainterPath track;
    track.addRoundedRect(bar, radius, radius);
    painter.save();
    painter.setClipPath(track);
    painter.fillRect(QRectF(0, 0, look.barSteps, h), levelColor_);
    painter.restore();
  }
  if (look.peakStep > 0) {
    const qreal x = std::clamp<qreal>(look.peakStep - kPeakMarkPx, 0, bar.width() - kPeakMarkPx);
    painter.fillRect(QRectF(x, 0, kPeakMarkPx, h), peakColor_);
  }
  if (look.clip) {
    painter.setBrush(clipColor_);
    painter.drawRoundedRect(clipMark, radius, radius);
  }
}

}  // namespace zav
