#pragma once
// CPaintViewUI: the timeline control ("PaintView" in skins). It draws a time ruler for a
// piece of sound of known total length, a play-position marker, two draggable handles that
// bound a range (the parts outside it shaded) and, when samples are given, a waveform. It
// tells its owner window about handle drags and clicks on the ruler by posted messages; the
// ones carrying a time pass the address of the control's stored value in wParam, which the
// owner reads while handling the message (same thread, control still alive).
//
// UI thread only.

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "TimelineGeometry.h"

class QPainter;

namespace zav {

class WindowImplBase;

// Posted to the owner window, lParam 0.
inline constexpr unsigned kPaintViewStartMoved = 1324;    // wParam: address of the start time
inline constexpr unsigned kPaintViewEndMoved = 1325;      // wParam: address of the end time
inline constexpr unsigned kPaintViewStartDragBegun = 1326;
inline constexpr unsigned kPaintViewEndDragBegun = 1327;
inline constexpr unsigned kPaintViewStartDragEnded = 1328;
inline constexpr unsigned kPaintViewEndDragEnded = 1329;
inline constexpr unsigned kPaintViewSeek = 1344;          // wParam: address of the seek time

class CPaintViewUI : public QWidget {
  Q_OBJECT

 public:
  static inline const QString kClassName = QStringLiteral("PaintView");
  static inline const QString kInterfaceName = QStringLiteral("paint-view");

  // A new control for a skin element of className ("PaintView" in any case), else nullptr.
  static CPaintViewUI* CreateForSkin(const QString& className, WindowImplBase* owner, QWidget* parent);

  // owner receives the notifications; may be null (nothing is posted).
  explicit CPaintViewUI(WindowImplBase* owner, QWidget* parent = nullptr);
  ~CPaintViewUI() override;

  QString GetClass() const { return kClassName; }
  // This control for "paint-view" (any case), else nullptr.
  CPaintViewUI* GetInterface(QStringView name);

  void SetTotalLength(double seconds);
  void SetPlayPosition(double seconds);  // a negative position hides the marker
  void SetSamples(std::vector<int32_t> samples);

  double TotalLength() const { return totalSeconds_; }
  const double& StartTime() const { return start_.time; }
  const double& EndTime() const { return end_.time; }
  const double& SeekTime() const { return seekTime_; }
  QRectF StartKnob() const { return start_.knob; }
  QRectF EndKnob() const { return end_.knob; }

  // The ruler's font: 12 pixels of "宋体", or the face that stands in for it.
  static QFont LabelFont();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TimelineBox Box() const;
  void Post(unsigned message, const double* time = nullptr);
  // What every mouse event does first: remembers the position, shows the hand over the zone
  // that seeks. Returns the position.
  QPoint NoteMouse(QMouseEvent* event);
  void PaintRuler(QPainter& painter, const TimelineBox& box);
  void PaintPosition(QPainter& painter, const TimelineBox& box);
  void PaintEndMarks(QPainter& painter, const TimelineBox& box);
  void PaintWaveform(QPainter& painter, const TimelineBox& box);
  void PaintStartHandle(QPainter& painter, const TimelineBox& box);
  void PaintEndHandle(QPainter& painter, const TimelineBox& box);

  struct Handle {
    double time = 0.0;     // posted by address while the handle is dragged
    QPoint point{-1, -1};  // column (and row) where it was last drawn or released
    QRectF knob;           // hit box, set by each paint
    bool dragging = false;
    bool placed = false;   // dragged at least once, so drawn from its time from now on
  };
  // Where a shown handle wants to stand before it is kept in its limits: at the cursor while
  // dragged, else at its time, else at its stored point.
  QPoint WantedPoint(const Handle& handle, const TimelineBox& box) const;
  // Draws the handle at point (shading `outside`), stores it and, while it is dragged, its
  // time, which movedMessage tells the owner.
  void PlaceHandle(QPainter& painter, const TimelineBox& box, Handle& handle, QPoint point, const QRectF& outside,
                   unsigned movedMessage);

  WindowImplBase* owner_;
  double totalSeconds_ = 0.0;
  double playPosition_ = 0.0;
  double seekTime_ = 0.0;
  Handle start_;
  Handle end_;
  QPoint cursor_;  // where the mouse was at its last event, in the control's pixels
  bool pressed_ = false;
  bool dragging_ = false;
  std::vector<int32_t> samples_;
  bool samplesReady_ = false;
};

}  // namespace zav
