#pragma once
// Where things lie on the timeline control: time <-> pixel, the ruler's ticks, the zone that
// seeks, the handles' limits and the waveform's segments. Pure functions on the control's
// rectangle, in the control's own pixels.

#include <QLineF>
#include <QPoint>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <vector>

namespace zav {

inline constexpr int kTimelineMarginPx = 20;          // control edge to timeline, each side
inline constexpr int kBaselineAboveBottomPx = 30;     // the baseline's height over the bottom
inline constexpr int kSeekZoneHalfHeightPx = 10;      // clicks closer than this to the baseline seek
inline constexpr int kRulerTickCount = 41;            // ticks 0..40, every fifth one long
inline constexpr double kTimelineMinTotalSeconds = 1e-5;  // shorter totals count as none

struct TimelineBox {
  int left = 0;
  int top = 0;
  int right = 0;   // one past the last column
  int bottom = 0;  // one past the last row

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  int StartX() const { return left + kTimelineMarginPx; }
  int EndX() const { return right - kTimelineMarginPx; }
  int Length() const { return Width() - 2 * kTimelineMarginPx; }
  int BaselineY() const { return bottom - kBaselineAboveBottomPx; }
};

// The column of time t on a timeline of totalSeconds (truncated); the timeline's start
// when the total is none.
int TimeToX(const TimelineBox& box, double totalSeconds, double t);
// The time of column x; 0 when the timeline has no length.
double XToTime(const TimelineBox& box, double totalSeconds, int x);

// Column of ruler tick i (0..40), in single precision like the drawing.
float TickX(const TimelineBox& box, int i);
int TickLengthPx(int i);

// Strictly between the timeline's ends and strictly within 10 pixels of the baseline.
bool InSeekZone(const TimelineBox& box, QPoint point);

// A handle's column kept between its limit on the other side and the timeline's end.
int ClampStartHandleX(const TimelineBox& box, int x, int endHandleX);
int ClampEndHandleX(const TimelineBox& box, int x, int startHandleX);

// Hit test of a handle's knob, edges included.
bool KnobContains(const QRectF& knob, QPoint point);

// "%02d:%02d:%02d.%02d": hours, minutes, seconds, then hundredths truncated.
QString FormatTimelineTime(double seconds);

// The waveform as line segments, one per sample, around the control's middle row.
std::vector<QLineF> WaveformSegments(const TimelineBox& box, const std::vector<int32_t>& samples);

}  // namespace zav
