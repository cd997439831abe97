#include "PaintViewUI.h"

#include <QMouseEvent>
#include <QPainter>

#include "dui/WindowImplBase.h"

namespace zav {

namespace {

constexpr QRgb kGreen = 0xFF27B765;
constexpr QRgb kLabelGreen = 0xBE27B765;
constexpr QRgb kOrange = 0xFFFF9800;
constexpr QRgb kPositionDisc = 0x64FF9800;
constexpr QRgb kKnobOrange = 0xBEFF9800;
constexpr QRgb kShade = 0x3CFF9800;

// Heights over the control's top and sizes, in pixels.
constexpr int kMarkTopPx = 40;       // end marks and handle lines reach up to here
constexpr int kKnobTopPx = 32;
constexpr int kKnobSizePx = 8;
constexpr int kShadeTopPx = 50;
constexpr int kShadeHeightPx = 90;
constexpr int kMarkAboveBaselinePx = 14;  // end marks and handle lines start this far up
constexpr int kLabelAboveBottomPx = 20;
constexpr int kLabelHeightPx = 20;
constexpr int kPositionDiscPx = 10;
constexpr int kPositionDotPx = 4;
constexpr int kPositionLabelWidthPx = 90;
constexpr int kLabelFontPx = 12;

QPen LinePen(QRgb color) {
  QPen pen{QColor::fromRgba(color), 1.0};
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

void FillEllipse(QPainter& painter, const QRectF& box, QRgb color) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor::fromRgba(color));
  painter.drawEllipse(box);
}

// Texts are placed on whole pixels; shapes get half a pixel (see paintEvent).
void DrawLabel(QPainter& painter, const QRectF& box, Qt::Alignment alignment, const QString& text) {
  painter.save();
  painter.translate(-0.5, -0.5);
  painter.setPen(QColor::fromRgba(kLabelGreen));
  painter.drawText(box, static_cast<int>(alignment | Qt::AlignTop), text);
  painter.restore();
}

}  // namespace

CPaintViewUI* CPaintViewUI::CreateForSkin(const QString& className, WindowImplBase* owner, QWidget* parent) {
  if (className.compare(kClassName, Qt::CaseInsensitive) != 0) return nullptr;
  return new CPaintViewUI(owner, parent);
}

CPaintViewUI::CPaintViewUI(WindowImplBase* owner, QWidget* parent) : QWidget(parent), owner_(owner) {
  setMouseTracking(true);  // the hand cursor follows the mouse without a button held
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

CPaintViewUI::~CPaintViewUI() = default;

CPaintViewUI* CPaintViewUI::GetInterface(QStringView name) {
  return name.compare(kInterfaceName, Qt::CaseInsensitive) == 0 ? this : nullptr;
}

void CPaintViewUI::SetTotalLength(double seconds) {
  totalSeconds_ = seconds;
  update();
}

void CPaintViewUI::SetPlayPosition(double seconds) {
  playPosition_ = seconds;
  update();
}

void CPaintViewUI::SetSamples(std::vector<int32_t> samples) {
  samples_ = std::move(samples);
  samplesReady_ = true;
  update();
}

QFont CPaintViewUI::LabelFont() {
  QFont font;
  // Where the face is missing, the font system's choice for it stands in.
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun")});
  font.setPixelSize(kLabelFontPx);
  font.setWeight(QFont::Normal);
  return font;
}

TimelineBox CPaintViewUI::Box() const { return {0, 0, width(), height()}; }

void CPaintViewUI::Post(unsigned message, const double* time) {
  if (owner_) owner_->PostMessage(message, reinterpret_cast<uintptr_t>(time), 0);
}

void CPaintViewUI::paintEvent(QPaintEvent*) {
  const TimelineBox box = Box();
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  // Coordinates name pixel centres, so that 1-pixel lines on whole coordinates stay crisp.
  painter.translate(0.5, 0.5);
  painter.setFont(LabelFont());

  PaintRuler(painter, box);
  PaintPosition(painter, box);
  PaintEndMarks(painter, box);
  PaintWaveform(painter, box);
  if (!start_.placed) start_.point = QPoint(box.StartX(), box.top + kMarkTopPx);
  if (!end_.placed) end_.point = QPoint(box.EndX(), box.top + kMarkTopPx);
  PaintStartHandle(painter, box);
  PaintEndHandle(painter, box);
}

void CPaintViewUI::PaintRuler(QPainter& painter, const TimelineBox& box) {
  const int baseline = box.BaselineY();
  painter.setPen(LinePen(kGreen));
  painter.drawLine(QPointF(box.StartX(), baseline), QPointF(box.EndX(), baseline));
  for (int i = 0; i < kRulerTickCount; ++i) {
    const float x = TickX(box, i);
    painter.drawLine(QPointF(x, baseline), QPointF(x, baseline - TickLengthPx(i)));
  }
  const qreal labelTop = box.bottom - kLabelAboveBottomPx;
  DrawLabel(painter, QRectF(TickX(box, 0) - 35, labelTop, 70, kLabelHeightPx), Qt::AlignRight,
            QStringLiteral("00:00:00"));
  DrawLabel(painter, QRectF(TickX(box, kRulerTickCount - 1) - 55, labelTop, 80, kLabelHeightPx), Qt::AlignLeft,
            FormatTimelineTime(totalSeconds_));
}

void CPaintViewUI::PaintPosition(QPainter& painter, const TimelineBox& box) {
  if (playPosition_ < 0 || totalSeconds_ <= kTimelineMinTotalSeconds) return;
  const int baseline = box.BaselineY();
  const int p = TimeToX(box, totalSeconds_, playPosition_);
  painter.setPen(LinePen(kOrange));
  painter.drawLine(QPointF(box.StartX(), baseline), QPointF(p, baseline));
  const QPointF centre(p, baseline);
  FillEllipse(painter, QRectF(centre.x() - kPositionDiscPx / 2.0, centre.y() - kPositionDiscPx / 2.0,
                              kPositionDiscPx, kPositionDiscPx),
              kPositionDisc);
  FillEllipse(painter, QRectF(centre.x() - kPositionDotPx / 2.0, centre.y() - kPositionDotPx / 2.0,
                              kPositionDotPx, kPositionDotPx),
              kKnobOrange);
  DrawLabel(painter,
            QRectF(box.left + (box.Width() - kPositionLabelWidthPx) / 2, box.bottom - kLabelAboveBottomPx,
                   kPositionLabelWidthPx, kLabelHeightPx),
            Qt::AlignRight, FormatTimelineTime(playPosition_));
}

void CPaintViewUI::PaintEndMarks(QPainter& painter, const TimelineBox& box) {
  const int baseline = box.BaselineY();
  for (const int x : {box.StartX(), box.EndX()}) {
    painter.setPen(LinePen(kGreen));
    painter.drawLine(QPointF(x, baseline - kMarkAboveBaselinePx), QPointF(x, box.top + kMarkTopPx));
    FillEllipse(painter, QRectF(x - kKnobSizePx / 2, box.top + kKnobTopPx, kKnobSizePx, kKnobSizePx), kGreen);
  }
  start_.knob = QRectF(box.StartX() - kKnobSizePx / 2, box.top + kKnobTopPx, kKnobSizePx, kKnobSizePx);
  end_.knob = QRectF(box.EndX() - kKnobSizePx / 2, box.top + kKnobTopPx, kKnobSizePx, kKnobSizePx);
}

void CPaintViewUI::PaintWaveform(QPainter& painter, const TimelineBox& box) {
  if (!samplesReady_ || samples_.empty()) return;
  painter.setPen(LinePen(kGreen));
  for (const QLineF& segment : WaveformSegments(box, samples_)) painter.drawLine(segment);
}

QPoint CPaintViewUI::WantedPoint(const Handle& handle, const TimelineBox& box) const {
  if (handle.dragging) return cursor_;
  if (handle.time > kTimelineMinTotalSeconds) return {TimeToX(box, totalSeconds_, handle.time), handle.point.y()};
  return handle.point;
}

void CPaintViewUI::PlaceHandle(QPainter& painter, const TimelineBox& box, Handle& handle, QPoint point,
                               const QRectF& outside, unsigned movedMessage) {
  handle.point = point;
  painter.fillRect(outside, QColor::fromRgba(kShade));
  painter.setPen(LinePen(kOrange));
  painter.drawLine(QPointF(point.x(), box.BaselineY() - kMarkAboveBaselinePx),
                   QPointF(point.x(), box.top + kMarkTopPx));
  handle.knob = QRectF(point.x() - kKnobSizePx / 2, box.top + kKnobTopPx, kKnobSizePx, kKnobSizePx);
  FillEllipse(painter, handle.knob, kKnobOrange);
  if (pressed_ && handle.dragging && totalSeconds_ > kTimelineMinTotalSeconds) {
    handle.time = XToTime(box, totalSeconds_, point.x());
    Post(movedMessage, &handle.time);
  }
}

void CPaintViewUI::PaintStartHandle(QPainter& painter, const TimelineBox& box) {
  if (!start_.dragging && !start_.placed) return;
  const QPoint wanted = WantedPoint(start_, box);
  if (end_.point.x() < box.StartX()) end_.point.setX(box.StartX());
  const int x = ClampStartHandleX(box, wanted.x(), end_.point.x());
  PlaceHandle(painter, box, start_, {x, wanted.y()},
              QRectF(box.StartX(), box.top + kShadeTopPx, x - box.StartX(), kShadeHeightPx), kPaintViewStartMoved);
}

void CPaintViewUI::PaintEndHandle(QPainter& painter, const TimelineBox& box) {
  if (!end_.dragging && !end_.placed) return;
  const QPoint wanted = WantedPoint(end_, box);
  const int x = ClampEndHandleX(box, wanted.x(), start_.point.x());
  PlaceHandle(painter, box, end_, {x, wanted.y()},
              QRectF(x, box.top + kShadeTopPx, box.EndX() - x, kShadeHeightPx), kPaintViewEndMoved);
}

QPoint CPaintViewUI::NoteMouse(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  cursor_ = pos;
  if (InSeekZone(Box(), pos)) {
    setCursor(Qt::PointingHandCursor);
  } else {
    unsetCursor();
  }
  event->accept();  // mouse events end here, none goes on to the window
  return pos;
}

void CPaintViewUI::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = NoteMouse(event);
  if (event->button() != Qt::LeftButton) return;
  pressed_ = true;
  const TimelineBox box = Box();
  if (InSeekZone(box, pos)) {
    seekTime_ = XToTime(box, totalSeconds_, pos.x());
    Post(kPaintViewSeek, &seekTime_);
  }
}

void CPaintViewUI::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = NoteMouse(event);
  if (!pressed_) return;
  if (dragging_) {
    repaint();  // the paint moves the handle and tells the owner
  } else if (KnobContains(start_.knob, pos)) {
    dragging_ = start_.dragging = start_.placed = true;
    Post(kPaintViewStartDragBegun);
  } else if (KnobContains(end_.knob, pos)) {
    dragging_ = end_.dragging = end_.placed = true;
    Post(kPaintViewEndDragBegun);
  }
}

void CPaintViewUI::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = NoteMouse(event);
  if (event->button() != Qt::LeftButton) return;
  pressed_ = false;
  if (start_.dragging) {
    start_.point = pos;
    Post(kPaintViewStartDragEnded);
  }
  if (end_.dragging) {
    end_.point = pos;
    Post(kPaintViewEndDragEnded);
  }
  dragging_ = start_.dragging = end_.dragging = false;
}

}  // namespace zav
