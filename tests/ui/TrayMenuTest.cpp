// The tray's part of the main window: where the menu opens, what its entries post, when it
// closes, what a close of the main window does, and a desktop without a tray. Also the
// hotkeys on a platform without X11.
#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <vector>

#include "CloseRule.h"
#include "ConfigStore.h"
#include "MainTaskMenu.h"
#include "MenuPlacement.h"
#include "RecorderHotkeys.h"
#include "TrayIcon.h"
#include "TrayMessages.h"
#include "UiTestSupport.h"
#include "dui/Skin.h"

namespace zav {
namespace {

using test::WaitUntil;

TEST(MenuPlacementTest, NearTheBottomRightTheMenuOpensAboveAndPushedLeft) {
  const QRect work(0, 0, 1920, 1040);
  const QSize menu(168, 232);
  const QPoint at = PlaceMenu(QPoint(1900, 1030), menu, work);
  EXPECT_EQ(at, QPoint(1920 - 168 + 6, 1030 - 232 - 6));
  EXPECT_EQ(at.x() + menu.width(), 1920 + 6);  // right edge 6 pixels beyond the work area's
  EXPECT_LT(at.y() + menu.height(), 1030);     // above the cursor

  // The same on a second screen to the right of the first.
  EXPECT_EQ(PlaceMenu(QPoint(3190, 1000), menu, QRect(1920, 0, 1280, 1024)), QPoint(3200 - 168 + 6, 1000 - 232 - 6));
  // A menu taller than the work area starts at its top.
  EXPECT_EQ(PlaceMenu(QPoint(100, 150), QSize(168, 300), QRect(0, 0, 800, 200)), QPoint(106, -6));
}

TEST(MenuPlacementTest, NearTheTopLeftTheMenuOpensBelowAndRightOfTheCursor) {
  EXPECT_EQ(PlaceMenu(QPoint(10, 20), QSize(168, 232), QRect(0, 0, 1920, 1040)), QPoint(16, 14));
  // Ending exactly on the work area's edges is not crossing them.
  EXPECT_EQ(PlaceMenu(QPoint(1920 - 168, 1040 - 232), QSize(168, 232), QRect(0, 0, 1920, 1040)),
            QPoint(1920 - 168 + 6, 1040 - 232 - 6));
}

TEST(CloseRuleTest, TheQuitCommandAlwaysQuitsOtherwiseTheSettingDecides) {
  EXPECT_EQ(DecideClose(kMenuQuit, 1), CloseAction::kQuit);
  EXPECT_EQ(DecideClose(kMenuQuit, 0), CloseAction::kQuit);
  EXPECT_EQ(DecideClose(0, 1), CloseAction::kMinimize);
  EXPECT_EQ(DecideClose(0, 7), CloseAction::kMinimize);
  EXPECT_EQ(DecideClose(0, 0), CloseAction::kQuit);
}

// Stands for the main window: notes what is posted to it.
class OwnerWindow : public WindowImplBase {
 public:
  std::vector<unsigned> messages;

 protected:
  QString GetSkinFile() override { return {}; }
  intptr_t HandleCustomMessage(unsigned message, uintptr_t, intptr_t, bool& handled) override {
    messages.push_back(message);
    handled = true;
    return 0;
  }
};

class MainTaskMenuTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSkinFolder(test::SourceSkinFolder()); }

  QPointer<CMainTaskMenu> Open() {
    QPointer<CMainTaskMenu> menu = new CMainTaskMenu();
    EXPECT_TRUE(menu->Init(&owner_, cursor_));
    return menu;
  }

  OwnerWindow owner_;
  const QPoint cursor_{40, 50};
};

TEST_F(MainTaskMenuTest, EachEntryPostsItsCommandToTheOwnerAndClosesTheMenu) {
  const std::pair<const char*, unsigned> entries[] = {
      {"main_menu_item_quit", 1234}, {"main_menu_item_home", 1235},     {"main_menu_item_help", 1236},
      {"main_menu_item_seting", 1237}, {"main_menu_item_feedback", 1238}, {"main_menu_item_upgrade", 1239}};
  for (const auto& [name, message] : entries) {
    owner_.messages.clear();
    QPointer<CMainTaskMenu> menu = Open();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), PlaceMenu(cursor_, menu->size(), QGuiApplication::primaryScreen()->availableGeometry()));
    menu->FindControl<QPushButton>(QLatin1String(name))->click();
    EXPECT_TRUE(WaitUntil([&] { return menu.isNull() && !owner_.messages.empty(); })) << name;
    EXPECT_EQ(owner_.messages, std::vector<unsigned>{message}) << name;
  }
}

TEST_F(MainTaskMenuTest, LosingTheFocusClosesTheMenuWithoutACommand) {
  QPointer<CMainTaskMenu> menu = Open();
  ASSERT_TRUE(menu);
  QCoreApplication::processEvents();
  ASSERT_TRUE(menu) << "the menu closed by itself";
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  EXPECT_TRUE(WaitUntil([&] { return menu.isNull(); }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(owner_.messages.empty());
}

TEST(TrayIconTest, WithoutANotificationAreaThereIsNoIconAndNothingBreaks) {
  OwnerWindow owner;
  TrayIcon icon(&owner, QIcon(), TrayIcon::kTip);
  EXPECT_FALSE(icon.IsShown());
  icon.SetTip(QStringLiteral("ZAV电脑录音软件 - 正在录音"));
}

TEST(HotkeysWithoutX11Test, EveryRegistrationFailsQuietlyAndNothingIsWritten) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ConfigStore config((dir.path() + "/configure.ini").toStdString());
  OwnerWindow owner;
  RecorderHotkeys hotkeys(&owner, config);
  hotkeys.RegisterAtStartup();
  EXPECT_FALSE(hotkeys.Current(HotkeyAction::kStartPause));
  EXPECT_FALSE(hotkeys.Current(HotkeyAction::kStop));
  EXPECT_EQ(config.ReadString(kHotkeySection, "start-pause-key1", "<missing>"), "<missing>");
  EXPECT_EQ(config.ReadString(kHotkeySection, "stop-key2", "<missing>"), "<missing>");
  EXPECT_FALSE(hotkeys.Change(HotkeyAction::kStop, {kHotkeyCtrl, kVirtualKeyF12}));
  bool ran = false;
  EXPECT_FALSE(hotkeys.Dispatch(RecorderHotkeys::kStartPauseId, [&] { ran = true; }, [&] { ran = true; }));
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace zav
