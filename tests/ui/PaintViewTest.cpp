// The timeline control: its geometry, its picture grabbed offscreen, and what the mouse does
// (hand cursor zone, seeking, dragging the handles) as its owner window sees it.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QWindow>

#include <vector>

#include "UiTestSupport.h"
#include "dui/Skin.h"
#include "dui/WindowImplBase.h"
#include "timeline/PaintViewUI.h"

namespace zav {
namespace {

using test::WaitUntil;

TEST(TimelineGeometryTest, TimesAndZonesAreCountedFromTheControlsOwnEdge) {
  const TimelineBox box{50, 10, 490, 210};  // 440 x 200, timeline from 70 to 470
  EXPECT_EQ(box.BaselineY(), 180);
  EXPECT_DOUBLE_EQ(XToTime(box, 60, 270), 30.0);
  EXPECT_EQ(TimeToX(box, 60, 30), 270);
  EXPECT_EQ(TimeToX(box, 60, 0.149), 70);  // 0.99 pixel, truncated
  EXPECT_EQ(TimeToX(box, 0, 5), 70);       // no total: the start, not a division by zero
  EXPECT_EQ(XToTime(TimelineBox{0, 0, 40, 100}, 60, 30), 0.0);  // no length left
  EXPECT_FLOAT_EQ(TickX(box, 40), 470.0f);

  EXPECT_TRUE(InSeekZone(box, {270, 189}));  // below the baseline too
  EXPECT_FALSE(InSeekZone(box, {270, 190}));
  EXPECT_FALSE(InSeekZone(box, {70, 180}));
  EXPECT_TRUE(InSeekZone(box, {71, 180}));
  EXPECT_FALSE(InSeekZone(box, {470, 180}));

  EXPECT_EQ(ClampStartHandleX(box, 600, 300), 300);
  EXPECT_EQ(ClampStartHandleX(box, -5, 300), 70);
  EXPECT_EQ(ClampEndHandleX(box, 0, 250), 250);
  EXPECT_EQ(ClampEndHandleX(box, 999, 250), 470);
  EXPECT_TRUE(KnobContains(QRectF(66, 42, 8, 8), {74, 50}));
  EXPECT_FALSE(KnobContains(QRectF(66, 42, 8, 8), {75, 50}));
}

TEST(TimelineGeometryTest, TimesShowHoursMinutesSecondsAndHundredths) {
  EXPECT_EQ(FormatTimelineTime(0), QStringLiteral("00:00:00.00"));
  EXPECT_EQ(FormatTimelineTime(3725.5), QStringLiteral("01:02:05.50"));
  EXPECT_EQ(FormatTimelineTime(59.999), QStringLiteral("00:00:59.99"));
  EXPECT_EQ(FormatTimelineTime(-3), QStringLiteral("00:00:00.00"));
}

TEST(TimelineGeometryTest, WaveformStopsAtTheTimelinesEnd) {
  const TimelineBox box{0, 0, 440, 200};  // 400 pixels from 20 to 420, middle row 100
  const std::vector<QLineF> lines = WaveformSegments(box, {1000, -2000, 0, 500});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], QLineF(20, 100, 120, 101));
  EXPECT_EQ(lines[1], QLineF(120, 101, 220, 98));
  EXPECT_EQ(lines[3], QLineF(320, 100, 420, 100.5));
  EXPECT_TRUE(WaveformSegments(box, {}).empty());
}

struct Seen {
  unsigned message;
  uintptr_t wParam;
  double time;  // read from the address in wParam while handling, as an owner would
};

// A window whose skin places the timeline 60 pixels from its left edge.
class TimelineWindow : public WindowImplBase {
 public:
  std::vector<Seen> seen;

  CPaintViewUI* Timeline() const { return FindControl<CPaintViewUI>(QStringLiteral("timeline")); }

  std::vector<unsigned> Messages() const {
    std::vector<unsigned> messages;
    for (const Seen& s : seen) messages.push_back(s.message);
    return messages;
  }

  // The time carried by the last message of this kind, or -1.
  double LastTime(unsigned message) const {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
      if (it->message == message) return it->time;
    }
    return -1;
  }

 protected:
  QString GetSkinFile() override { return QStringLiteral("TimelineWindow.xml"); }
  QWidget* CreateControl(const QString& className, QWidget* parent) override {
    return CPaintViewUI::CreateForSkin(className, this, parent);
  }
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t, bool& handled) override {
    const double time = wParam ? *reinterpret_cast<const double*>(wParam) : -1;
    seen.push_back({message, wParam, time});
    handled = true;
    return 0;
  }
};

void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

void Click(QWidget* widget, QPoint pos) {
  SendMouse(widget, QEvent::MouseButtonPress, pos, Qt::LeftButton);
  SendMouse(widget, QEvent::MouseButtonRelease, pos, Qt::NoButton);
}

// Press on a knob, nudge to start the drag, move to `to`, release there.
void Drag(QWidget* widget, QPoint knob, QPoint to) {
  SendMouse(widget, QEvent::MouseButtonPress, knob, Qt::LeftButton);
  SendMouse(widget, QEvent::MouseMove, knob + QPoint(1, 0), Qt::LeftButton);
  SendMouse(widget, QEvent::MouseMove, to, Qt::LeftButton);
  SendMouse(widget, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

class PaintViewTest : public ::testing::Test {
 protected:
  static constexpr int kBaseline = 170;  // 200 high, baseline 30 above the bottom
  static constexpr int kKnobRow = 36;

  void SetUp() override {
    SetSkinFolder(test::TestSkinFolder());
    window_ = new TimelineWindow();
    ASSERT_TRUE(window_->Create(nullptr, QStringLiteral("timeline"), WindowStyle::kMainFrame));
    window_->move(200, 150);
    window_->ShowWindow();
    ASSERT_TRUE(WaitUntil([&] { return window_->windowHandle() && window_->windowHandle()->isExposed(); }));
    timeline_ = window_->Timeline();
    ASSERT_NE(timeline_, nullptr);
    ASSERT_EQ(timeline_->size(), QSize(440, 200));
    ASSERT_EQ(timeline_->mapTo(window_, QPoint(0, 0)), QPoint(60, 20));
  }
  void TearDown() override {
    window_->DestroyWindow();
    delete window_;
  }

  // Delivers what the control posted.
  void Settle() { QCoreApplication::processEvents(); }

  QImage Grab() const { return timeline_->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  TimelineWindow* window_ = nullptr;
  CPaintViewUI* timeline_ = nullptr;
};

bool IsGreen(QRgb c) {
  return std::abs(qRed(c) - 0x27) < 12 && std::abs(qGreen(c) - 0xB7) < 12 && std::abs(qBlue(c) - 0x65) < 12;
}
// Orange, also the light shade of the parts outside the range (grey stays below this).
bool IsOrangeish(QRgb c) { return qRed(c) - qBlue(c) > 30 && qRed(c) > qGreen(c); }

bool HasInk(const QImage& image, const QRect& area, QRgb background) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb c = image.pixel(x, y);
      const int diff = std::abs(qRed(c) - qRed(background)) + std::abs(qGreen(c) - qGreen(background)) +
                       std::abs(qBlue(c) - qBlue(background));
      if (diff > 30) return true;
    }
  }
  return false;
}

int CountOrangeish(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += IsOrangeish(image.pixel(x, y)) ? 1 : 0;
  }
  return count;
}

TEST_F(PaintViewTest, EmptyTimelineShowsTheRulerAndZeroLabelsButNoMarker) {
  EXPECT_EQ(timeline_->GetClass(), QStringLiteral("PaintView"));
  EXPECT_EQ(timeline_->GetInterface(u"Paint-View"), timeline_);
  EXPECT_EQ(timeline_->GetInterface(u"button"), nullptr);

  const QImage image = Grab();
  const QRgb background = image.pixel(5, 5);
  ASSERT_FALSE(IsGreen(background));
  for (int x = 21; x < 420; ++x) ASSERT_TRUE(IsGreen(image.pixel(x, kBaseline))) << "baseline at " << x;

  int ticks = 0;
  int longTicks = 0;
  for (int x = 15; x < 425; ++x) {
    ticks += IsGreen(image.pixel(x, kBaseline - 3)) ? 1 : 0;
    longTicks += IsGreen(image.pixel(x, kBaseline - 7)) ? 1 : 0;
    EXPECT_FALSE(IsGreen(image.pixel(x, kBaseline - 12))) << x;  // above the longest tick
  }
  EXPECT_EQ(ticks, 41);
  EXPECT_EQ(longTicks, 9);

  // End marks: a green line up from the baseline and a green knob at each end.
  for (const int x : {20, 420}) {
    EXPECT_TRUE(IsGreen(image.pixel(x, 100))) << x;
    EXPECT_TRUE(IsGreen(image.pixel(x, kKnobRow))) << x;
  }

  EXPECT_TRUE(HasInk(image, QRect(0, 180, 55, 20), background));     // "00:00:00" under tick 0
  EXPECT_TRUE(HasInk(image, QRect(365, 180, 75, 20), background));   // "00:00:00.00" under tick 40
  EXPECT_FALSE(HasInk(image, QRect(60, 180, 300, 20), background));  // no position text
  EXPECT_EQ(CountOrangeish(image), 0);                                // no marker, no handles
}

TEST_F(PaintViewTest, TheLastTickShowsTheTotalAndAPositionShowsTheMarker) {
  timeline_->SetPlayPosition(-1);
  const QImage empty = Grab();
  timeline_->SetTotalLength(3725.5);
  const QImage total = Grab();
  const QRect endLabel(365, 180, 75, 20);
  bool labelChanged = false;
  for (int y = 0; y < empty.height(); ++y) {
    for (int x = 0; x < empty.width(); ++x) {
      if (empty.pixel(x, y) == total.pixel(x, y)) continue;
      ASSERT_TRUE(endLabel.contains(x, y)) << "changed outside the end label at " << x << "," << y;
      labelChanged = true;
    }
  }
  EXPECT_TRUE(labelChanged);

  timeline_->SetPlayPosition(3725.5 / 2);
  const QImage marked = Grab();
  EXPECT_TRUE(IsOrangeish(marked.pixel(100, kBaseline)));   // the played part of the baseline
  EXPECT_TRUE(IsOrangeish(marked.pixel(220, kBaseline)));   // the disc at the position
  EXPECT_TRUE(IsGreen(marked.pixel(300, kBaseline)));       // not yet played
  EXPECT_TRUE(HasInk(marked, QRect(175, 180, 90, 20), marked.pixel(5, 5)));  // the position's time
}

TEST_F(PaintViewTest, PressesNearTheBaselineSeekToTheTimeUnderTheCursor) {
  timeline_->SetTotalLength(60);
  Settle();

  SendMouse(timeline_, QEvent::MouseMove, {220, kBaseline - 9}, Qt::NoButton);
  EXPECT_EQ(timeline_->cursor().shape(), Qt::PointingHandCursor);
  SendMouse(timeline_, QEvent::MouseMove, {220, kBaseline - 10}, Qt::NoButton);
  EXPECT_EQ(timeline_->cursor().shape(), Qt::ArrowCursor);

  Click(timeline_, {220, kBaseline - 10});
  Click(timeline_, {20, kBaseline});  // the timeline's very end is outside the zone
  Settle();
  EXPECT_TRUE(window_->seen.empty());

  Click(timeline_, {220, kBaseline - 9});  // the middle: the control sits 60 pixels in
  Settle();
  ASSERT_EQ(window_->Messages(), std::vector<unsigned>{1344});  // kPaintViewSeek
  EXPECT_EQ(window_->seen[0].wParam, reinterpret_cast<uintptr_t>(&timeline_->SeekTime()));
  EXPECT_DOUBLE_EQ(window_->seen[0].time, 30.0);
}

TEST_F(PaintViewTest, DraggedHandlesStopAtEachOther) {
  timeline_->SetTotalLength(60);
  timeline_->repaint();
  ASSERT_EQ(timeline_->EndKnob(), QRectF(416, 32, 8, 8));

  Drag(timeline_, {420, kKnobRow}, {320, kKnobRow});  // end handle to 45 s
  Settle();
  EXPECT_EQ(window_->seen.front().message, kPaintViewEndDragBegun);
  EXPECT_EQ(window_->seen.back().message, kPaintViewEndDragEnded);
  EXPECT_DOUBLE_EQ(window_->LastTime(kPaintViewEndMoved), 45.0);

  window_->seen.clear();
  Drag(timeline_, {20, kKnobRow}, {400, kKnobRow});  // start handle past the end handle
  Settle();
  EXPECT_EQ(window_->seen.front().message, kPaintViewStartDragBegun);
  EXPECT_EQ(window_->seen.back().message, kPaintViewStartDragEnded);
  EXPECT_DOUBLE_EQ(window_->LastTime(kPaintViewStartMoved), 45.0);
  EXPECT_EQ(timeline_->StartKnob(), QRectF(316, 32, 8, 8));

  Drag(timeline_, {320, kKnobRow}, {120, kKnobRow});  // start handle back to 15 s
  Settle();
  EXPECT_DOUBLE_EQ(window_->LastTime(kPaintViewStartMoved), 15.0);

  window_->seen.clear();
  Drag(timeline_, {320, kKnobRow}, {0, kKnobRow});  // end handle past the start handle
  Settle();
  EXPECT_EQ(window_->seen.front().message, kPaintViewEndDragBegun);
  EXPECT_DOUBLE_EQ(window_->LastTime(kPaintViewEndMoved), 15.0);
  EXPECT_DOUBLE_EQ(timeline_->EndTime(), 15.0);
  EXPECT_EQ(timeline_->EndKnob(), timeline_->StartKnob());

  // Outside the range is shaded: left of the start handle and right of the end handle.
  timeline_->repaint();
  const QImage image = Grab();
  EXPECT_TRUE(IsOrangeish(image.pixel(70, 100)));
  EXPECT_TRUE(IsOrangeish(image.pixel(300, 100)));
}

}  // namespace
}  // namespace zav
