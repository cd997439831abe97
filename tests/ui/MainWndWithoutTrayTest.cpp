// The main window on a desktop without a notification area (the offscreen platform has none):
// nothing could bring back a window that closing only minimised, so the close-to-tray choice
// is greyed out, a stored one quits instead, and the stored value is kept for a desktop that has
// a tray.
#include <gtest/gtest.h>

#include <QRadioButton>

#include "MainWndHarness.h"
#include "UiTestSupport.h"
#include "tray/TrayArea.h"

namespace zav::test {
namespace {

class MainWndWithoutTrayTest : public MainWndTestBase {
 protected:
  void SetUp() override {
    MainWndTestBase::SetUp();
    SetTrayCheck(nullptr);  // the platform's own answer
  }
};

TEST_F(MainWndWithoutTrayTest, TheCloseToTrayChoiceIsGreyedOutAndAStoredOneQuits) {
  ASSERT_FALSE(DesktopHasTray());
  WriteSetting("window-close", "1");
  OpenWindow();

  bool trayOffered = true;
  bool exitShown = false;
  boxes.useDialog = [&](QWidget* dialog) {
    auto* exit = dialog->findChild<QRadioButton*>(QStringLiteral("window-close-exit"));
    auto* tray = dialog->findChild<QRadioButton*>(QStringLiteral("window-close-tray"));
    ASSERT_TRUE(exit && tray);
    WaitUntil([&] { return exit->isChecked() || tray->isChecked(); });
    trayOffered = tray->isEnabled();
    exitShown = exit->isChecked();
  };
  window->PostMessage(kMenuSeting);
  ASSERT_TRUE(WaitUntil([&] { return boxes.Texts().contains(QStringLiteral("系统设置")); }));
  EXPECT_FALSE(trayOffered);
  EXPECT_TRUE(exitShown);  // what a close does here
  WaitForSettings();
  EXPECT_EQ(ReadSetting("window-close"), "1");

  window->Close(0);
  EXPECT_TRUE(WaitUntil([&] { return window.isNull(); })) << "the window stayed without a tray to bring it back";
}

}  // namespace
}  // namespace zav::test
