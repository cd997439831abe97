// The shadow window beside a real (offscreen) frameless window: the platform decision, the
// setters' bounds, following moves, hiding and showing, minimising and maximising, when the
// picture is recomputed, and the end of the parent.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <vector>

#include "UiTestSupport.h"
#include "dui/PerPixelAlpha.h"
#include "dui/WndShadow.h"

namespace zav {
namespace {

using test::WaitUntil;

// Shadows stay off on the offscreen platform unless asked for; these tests ask.
void EnableShadows() { CWndShadow::InitShadowSupport(true); }

std::unique_ptr<QWidget> ShownFramelessWindow(QRect geometry) {
  auto window = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint);
  window->setGeometry(geometry);
  window->show();
  EXPECT_TRUE(WaitUntil([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
  return window;
}

bool ShadowShown(const CWndShadow& shadow) {
  return shadow.ShadowWindow() && shadow.ShadowWindow()->isVisible() && (shadow.Status() & CWndShadow::kShadowVisible);
}

TEST(WndShadowTest, ShadowsNeedAPlatformThatShowsPerPixelAlphaAndStartOnce) {
  EXPECT_FALSE(PlatformShowsPerPixelAlpha(u"offscreen", true));
  EXPECT_FALSE(PlatformShowsPerPixelAlpha(u"xcb", false));  // no compositing manager
  EXPECT_TRUE(PlatformShowsPerPixelAlpha(u"xcb", true));
  EXPECT_TRUE(PlatformShowsPerPixelAlpha(u"wayland", false));
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
  EXPECT_FALSE(ThisPlatformShowsPerPixelAlpha());

  EnableShadows();
  EXPECT_FALSE(CWndShadow::InitShadowSupport());
  EXPECT_FALSE(CWndShadow::InitShadowSupport(true));
  EXPECT_TRUE(CWndShadow::ShadowsEnabled());
}

TEST(WndShadowTest, RejectsSizesAndOffsetsOutsideTwentyPixels) {
  CWndShadow shadow;
  EXPECT_TRUE(shadow.SetShadowSize(4));
  EXPECT_FALSE(shadow.SetShadowSize(21));
  EXPECT_EQ(shadow.ShadowSize(), 4);
  EXPECT_FALSE(shadow.SetShadowSize(-21));
  EXPECT_TRUE(shadow.SetShadowOffset(-20, 20));
  EXPECT_EQ(shadow.OffsetX(), -20);
  EXPECT_EQ(shadow.OffsetY(), 20);
  EXPECT_FALSE(shadow.SetShadowOffset(0, 21));
  EXPECT_EQ(shadow.OffsetY(), 20);
}

TEST(WndShadowTest, FollowsItsParentWithoutTakingFocusAndEndsWithIt) {
  EnableShadows();
  auto parent = ShownFramelessWindow(QRect(300, 200, 200, 100));
  parent->activateWindow();
  auto shadow = std::make_unique<CWndShadow>();
  shadow->AttachTo(parent.get());
  shadow->SetShadowSize(4);
  shadow->SetShadowOffset(0, 0);
  EXPECT_EQ(CWndShadow::FindShadow(parent.get()), shadow.get());
  ASSERT_TRUE(ShadowShown(*shadow));
  EXPECT_EQ(shadow->ShadowWindow()->geometry(), QRect(296, 196, 208, 108));
  EXPECT_EQ(shadow->ShadowImage().size(), QSize(208, 108));
  EXPECT_TRUE(shadow->ShadowWindow()->windowFlags().testFlag(Qt::WindowTransparentForInput));
  EXPECT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == parent.get(); }));

  parent->move(350, 220);
  EXPECT_TRUE(WaitUntil([&] { return shadow->ShadowWindow()->pos() == QPoint(346, 216); }));
  shadow->SetShadowOffset(3, 2);  // a visible shadow moves at once
  EXPECT_EQ(shadow->ShadowWindow()->pos(), QPoint(349, 218));

  parent->hide();
  EXPECT_FALSE(ShadowShown(*shadow));
  EXPECT_FALSE(shadow->Status() & CWndShadow::kParentVisible);
  parent->show();
  EXPECT_TRUE(ShadowShown(*shadow));
  EXPECT_NE(QApplication::activeWindow(), shadow->ShadowWindow());

  // The parent goes first: its shadow window and its registry entry go with it.
  const QWidget* gone = parent.get();
  parent.reset();
  EXPECT_EQ(shadow->ShadowWindow(), nullptr);
  EXPECT_EQ(CWndShadow::FindShadow(gone), nullptr);
  shadow.reset();

  // The shadow goes first: the parent lives on without it.
  parent = ShownFramelessWindow(QRect(10, 10, 120, 80));
  shadow = std::make_unique<CWndShadow>();
  shadow->AttachTo(parent.get());
  shadow.reset();
  EXPECT_EQ(CWndShadow::FindShadow(parent.get()), nullptr);
  parent->resize(150, 90);
  parent->hide();
}

TEST(WndShadowTest, MinimisingOrMaximisingHidesTheShadowAndRestoringShowsIt) {
  EnableShadows();
  auto parent = ShownFramelessWindow(QRect(100, 100, 200, 100));
  CWndShadow shadow;
  shadow.AttachTo(parent.get());
  ASSERT_TRUE(ShadowShown(shadow));

  parent->showMinimized();
  EXPECT_TRUE(WaitUntil([&] { return !ShadowShown(shadow); }));
  parent->showNormal();
  // Coming back counts as growth, redrawn when the parent paints. Offscreen windows are not
  // exposed anew and the platform repeats the state changes later, so paints are asked for.
  EXPECT_TRUE(WaitUntil([&] {
    parent->update();
    return ShadowShown(shadow) && !shadow.UpdatePending() && shadow.ShadowWindow()->size() == QSize(200, 100);
  }));

  parent->showMaximized();
  EXPECT_TRUE(WaitUntil([&] { return !ShadowShown(shadow); }));
  parent->showNormal();
  EXPECT_TRUE(WaitUntil([&] { return ShadowShown(shadow) && parent->windowState() == Qt::WindowNoState; }));
}

// Notes what the shadow has done by the time each of the parent's resize and paint events
// reaches the parent (filters installed earlier see an event later).
class SeenAtEvents : public QObject {
 public:
  explicit SeenAtEvents(const CWndShadow* shadow) : shadow_(shadow) {}
  struct Seen {
    QEvent::Type type;
    QSize shadowSize;
    bool pending;
  };
  std::vector<Seen> seen;

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Paint) {
      seen.push_back({event->type(), shadow_->ShadowWindow()->size(), shadow_->UpdatePending()});
    }
    return false;
  }

 private:
  const CWndShadow* shadow_;
};

TEST(WndShadowTest, GrowthIsRedrawnAtTheNextPaintAndShrinkingAtOnce) {
  EnableShadows();
  auto parent = ShownFramelessWindow(QRect(100, 100, 200, 100));
  CWndShadow shadow;
  SeenAtEvents events(&shadow);
  parent->installEventFilter(&events);
  shadow.AttachTo(parent.get());
  shadow.SetShadowSize(4);
  shadow.SetShadowOffset(0, 0);
  ASSERT_EQ(shadow.ShadowWindow()->size(), QSize(208, 108));

  events.seen.clear();
  parent->resize(300, 150);
  ASSERT_TRUE(WaitUntil([&] { return shadow.ShadowWindow()->size() == QSize(308, 158); }));
  ASSERT_FALSE(events.seen.empty());
  EXPECT_EQ(events.seen.front().type, QEvent::Resize);
  EXPECT_EQ(events.seen.front().shadowSize, QSize(208, 108));  // not yet
  EXPECT_TRUE(events.seen.front().pending);
  const auto firstPaint = std::find_if(events.seen.begin(), events.seen.end(),
                                       [](const SeenAtEvents::Seen& s) { return s.type == QEvent::Paint; });
  ASSERT_NE(firstPaint, events.seen.end());
  EXPECT_EQ(firstPaint->shadowSize, QSize(308, 158));
  EXPECT_FALSE(firstPaint->pending);

  events.seen.clear();
  parent->resize(250, 120);
  ASSERT_TRUE(WaitUntil([&] { return !events.seen.empty(); }));
  EXPECT_EQ(events.seen.front().type, QEvent::Resize);
  EXPECT_EQ(events.seen.front().shadowSize, QSize(258, 128));
  EXPECT_FALSE(events.seen.front().pending);
  parent->removeEventFilter(&events);
}

}  // namespace
}  // namespace zav
