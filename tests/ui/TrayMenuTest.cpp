// The tray's part of the main window: where the menu opens, what its entries post, when it
// closes, what a close of the main window does. Also the hotkeys on a platform without X11.
#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <filesystem>
#include <optional>
#include <vector>

#include "ConfigStore.h"
#include "UiTestSupport.h"
#include "dui/Skin.h"
#include "dui/WorkQueue.h"
#include "hotkeys/RecorderHotkeys.h"
#include "mainwindow/CloseRule.h"
#include "tray/MainTaskMenu.h"
#include "tray/MenuPlacement.h"
#include "tray/TrayMessages.h"

namespace zav {
namespace {

using test::WaitUntil;

TEST(MenuPlacementTest, TheMenuFitsTheWorkAreaThenShiftsSixRightAndSixUp) {
  const QRect work(0, 0, 1920, 1040);
  const QSize menu(168, 232);
  // Near the bottom-right corner: above the cursor, pushed left, right edge 6 beyond the work area's.
  EXPECT_EQ(PlaceMenu(QPoint(1900, 1030), menu, work), QPoint(1920 - 168 + 6, 1030 - 232 - 6));
  // Near the top-left corner: below and right of the cursor.
  EXPECT_EQ(PlaceMenu(QPoint(10, 20), menu, work), QPoint(16, 14));
  // Ending exactly on the edges is not crossing them.
  EXPECT_EQ(PlaceMenu(QPoint(1920 - 168, 1040 - 232), menu, work), QPoint(1920 - 168 + 6, 1040 - 232 - 6));
  // A second screen right of the first; a menu taller than the work area starts at its top.
  EXPECT_EQ(PlaceMenu(QPoint(3190, 1000), menu, QRect(1920, 0, 1280, 1024)), QPoint(3200 - 168 + 6, 1000 - 232 - 6));
  EXPECT_EQ(PlaceMenu(QPoint(100, 150), QSize(168, 300), QRect(0, 0, 800, 200)), QPoint(106, -6));
}

TEST(CloseRuleTest, TheQuitCommandAlwaysQuitsOtherwiseTheSettingDecides) {
  EXPECT_EQ(DecideClose(kMenuQuit, 1, true), CloseAction::kQuit);
  EXPECT_EQ(DecideClose(0, 1, true), CloseAction::kMinimize);
  EXPECT_EQ(DecideClose(0, 0, true), CloseAction::kQuit);
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
  QCoreApplication::processEvents();
  ASSERT_TRUE(menu) << "the menu closed by itself";
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  EXPECT_TRUE(WaitUntil([&] { return menu.isNull(); }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(owner_.messages.empty());
}

TEST(HotkeysWithoutX11Test, EveryRegistrationFailsQuietlyAndNothingIsWritten) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ConfigStore config((dir.path() + "/configure.ini").toStdString());
  WorkQueue disk("zav-test-settings");
  OwnerWindow owner;
  RecorderHotkeys hotkeys(&owner, disk, &config);
  hotkeys.RegisterAtStartup();
  ASSERT_TRUE(WaitUntil([&] { return !hotkeys.StartupPending() && !disk.Busy(); }));
  EXPECT_FALSE(hotkeys.Current(HotkeyAction::kStartPause));
  EXPECT_FALSE(hotkeys.Current(HotkeyAction::kStop));
  EXPECT_FALSE(std::filesystem::exists(config.path()));  // nothing written back
  std::optional<bool> taken;
  hotkeys.Change(HotkeyAction::kStop, {kHotkeyCtrl, kVirtualKeyF12}, [&](bool answer) { taken = answer; });
  ASSERT_TRUE(WaitUntil([&] { return taken.has_value(); }));
  EXPECT_FALSE(*taken);
  EXPECT_FALSE(hotkeys.Unsupported().empty());
}

}  // namespace
}  // namespace zav
