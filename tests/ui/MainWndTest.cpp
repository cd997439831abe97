// The main window shell: caption and mark for a second start, elapsed time posted by other
// threads, the end of the event loop when it is destroyed.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>

#include <thread>

#include "ElapsedTime.h"
#include "MainWnd.h"
#include "UiTestSupport.h"
#include "dui/Skin.h"

namespace zav {
namespace {

TEST(ElapsedTimeTest, FormatsHoursMinutesSeconds) {
  EXPECT_EQ(FormatElapsedTime(0), QStringLiteral("00:00:00"));
  EXPECT_EQ(FormatElapsedTime(3725), QStringLiteral("01:02:05"));
  EXPECT_EQ(FormatElapsedTime(59), QStringLiteral("00:00:59"));
  EXPECT_EQ(FormatElapsedTime(360000), QStringLiteral("100:00:00"));
  EXPECT_EQ(FormatElapsedTime(-5), QStringLiteral("00:00:00"));
}

class MainWndTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSkinFolder(test::SourceSkinFolder()); }
};

TEST_F(MainWndTest, ShowsTheSkinUnderItsCaptionAndCarriesTheSecondStartMark) {
  auto* window = new CMainWnd();
  ASSERT_TRUE(window->Create(nullptr, CMainWnd::kCaption, WindowStyle::kMainFrame));
  window->CenterWindow();
  window->ShowWindow();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("ZAV电脑录音软件"));
  EXPECT_EQ(WindowImplBase::FindWindowWithProp(CMainWnd::kWindowProp), window);
  EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());  // no sizing frame
  EXPECT_FALSE(window->windowIcon().isNull());

  // Elapsed time posted by an engine thread.
  std::thread engine([window] { window->PostMessage(WM_RECORD_SECONDS, 0, 3725); });
  engine.join();
  auto* progress = window->FindControl<QLabel>(QStringLiteral("recorder-progress"));
  ASSERT_NE(progress, nullptr);
  EXPECT_TRUE(test::WaitUntil([&] { return progress->text() == QStringLiteral("01:02:05"); }));

  // Destroying the main window ends the program's event loop with 0.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(5000);
  window->Close(0);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_EQ(WindowImplBase::FindWindowWithProp(CMainWnd::kWindowProp), nullptr);
}

}  // namespace
}  // namespace zav
