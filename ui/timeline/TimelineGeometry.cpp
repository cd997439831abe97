#include "TimelineGeometry.h"

#include <algorithm>
#include <cmath>

#include "mainwindow/ElapsedTime.h"

namespace zav {

namespace {
constexpr int kLongTickPx = 10;
constexpr int kShortTickPx = 4;
constexpr int kLongTickEvery = 5;
constexpr float kSampleToPx = 1.0f / 1000.0f;
constexpr double kFarOffPx = 1e6;
}  // namespace

int TimeToX(const TimelineBox& box, double totalSeconds, double t) {
  if (!(totalSeconds > 0.0)) return box.StartX();
  // Times far off the timeline stay far off without overflowing the column.
  const double offset = box.Length() * t / totalSeconds;
  if (!(offset > -kFarOffPx)) return box.StartX() - static_cast<int>(kFarOffPx);  // NaN too
  return box.StartX() + static_cast<int>(std::min(offset, kFarOffPx));
}

double XToTime(const TimelineBox& box, double totalSeconds, int x) {
  if (box.Length() <= 0) return 0.0;
  return static_cast<double>(x - box.StartX()) / box.Length() * totalSeconds;
}

float TickX(const TimelineBox& box, int i) {
  return static_cast<float>(box.StartX()) +
         static_cast<float>(i) * static_cast<float>(box.Length()) / static_cast<float>(kRulerTickCount - 1);
}

int TickLengthPx(int i) { return i % kLongTickEvery == 0 ? kLongTickPx : kShortTickPx; }

bool InSeekZone(const TimelineBox& box, QPoint point) {
  return point.x() > box.StartX() && point.x() < box.EndX() &&
         std::abs(point.y() - box.BaselineY()) < kSeekZoneHalfHeightPx;
}

int ClampStartHandleX(const TimelineBox& box, int x, int endHandleX) {
  return std::max(box.StartX(), std::min(x, endHandleX));
}

int ClampEndHandleX(const TimelineBox& box, int x, int startHandleX) {
  return std::max(startHandleX, std::min(x, box.EndX()));
}

bool KnobContains(const QRectF& knob, QPoint point) {
  return point.x() >= knob.left() && point.x() <= knob.right() && point.y() >= knob.top() &&
         point.y() <= knob.bottom();
}

QString FormatTimelineTime(double seconds) {
  if (!(seconds > 0.0)) seconds = 0.0;  // negative and NaN show as zero
  const auto whole = static_cast<int64_t>(seconds);
  const auto hundredths = static_cast<int>((seconds - static_cast<double>(whole)) * 100);
  return FormatElapsedTime(whole) + QString::asprintf(".%02d", hundredths);
}

std::vector<QLineF> WaveformSegments(const TimelineBox& box, const std::vector<int32_t>& samples) {
  std::vector<QLineF> segments;
  if (samples.empty()) return segments;
  const float step = static_cast<float>(box.Length()) / static_cast<float>(samples.size());
  const float middle = static_cast<float>(box.top + box.Height() / 2);
  const auto end = static_cast<float>(box.EndX());
  float x = static_cast<float>(box.StartX());
  float previous = 0.0f;
  for (const int32_t sample : samples) {
    if (x + step > end) break;
    const float y = static_cast<float>(sample) * kSampleToPx;
    segments.emplace_back(x, middle + previous, x + step, middle + y);
    previous = y;
    x = std::min(end, x + step);
  }
  return segments;
}

}  // namespace zav
