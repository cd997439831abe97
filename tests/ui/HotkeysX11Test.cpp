// The recorder's global hotkeys on a real X server: start-up registration and the values
// written back (also of a stored combination that is not one), the hotkey dialog's save,
// combinations held by another X client, and real key presses (with and without NumLock, and
// while one of the program's windows has the focus).
#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../net/LogCapture.h"
#include "ChildProcess.h"
#include "ConfigStore.h"
#include "SessionBus.h"
#include "UiTestSupport.h"
#include "X11TestEnvironment.h"
#include "dui/Skin.h"
#include "dui/WorkQueue.h"
#include "hotkeys/HotkeyDialog.h"
#include "hotkeys/RecorderHotkeys.h"

namespace zav {
namespace {

using test::WaitUntil;

constexpr xcb_keysym_t kF5 = 0xffc2;
constexpr xcb_keysym_t kF6 = 0xffc3;
constexpr xcb_keysym_t kF8 = 0xffc5;
constexpr xcb_keysym_t kF12 = 0xffc9;
constexpr uint16_t kAlt = XCB_MOD_MASK_1;  // where Xvfb's keymap puts Alt and NumLock
constexpr uint16_t kNumLock = XCB_MOD_MASK_2;
constexpr uint16_t kCtrl = XCB_MOD_MASK_CONTROL;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbOwned = std::unique_ptr<T, FreeDeleter>;

// Another program on the same display, taking key combinations the way any X client does.
class OtherXClient {
 public:
  OtherXClient() : connection_(xcb_connect(test::TestDisplay().c_str(), nullptr), &xcb_disconnect) {
    if (!xcb_connection_has_error(c())) root_ = xcb_setup_roots_iterator(xcb_get_setup(c())).data->root;
  }

  // Grabs modifiers + key on the root window; true when the server grants it. The grab is kept
  // unless release says to give it back at once.
  bool Take(uint16_t modifiers, xcb_keysym_t keysym, bool release = false) {
    const std::unique_ptr<xcb_key_symbols_t, void (*)(xcb_key_symbols_t*)> symbols(xcb_key_symbols_alloc(c()),
                                                                                    &xcb_key_symbols_free);
    const XcbOwned<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols.get(), keysym));
    if (!codes) return false;
    const xcb_keycode_t key = codes.get()[0];
    if (XcbOwned<xcb_generic_error_t>(xcb_request_check(
            c(), xcb_grab_key_checked(c(), 1, root_, modifiers, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)))) {
      return false;
    }
    if (release) XcbOwned<xcb_generic_error_t>(xcb_request_check(c(), xcb_ungrab_key_checked(c(), key, root_, modifiers)));
    return true;
  }
  bool IsFree(uint16_t modifiers, xcb_keysym_t keysym) { return Take(modifiers, keysym, true); }

  // The keyboard's modifier and lock state.
  uint16_t ModifierState() {
    const XcbOwned<xcb_query_pointer_reply_t> reply(xcb_query_pointer_reply(c(), xcb_query_pointer(c(), root_), nullptr));
    return reply ? reply->mask : 0;
  }

 private:
  xcb_connection_t* c() const { return connection_.get(); }
  std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> connection_;
  xcb_window_t root_ = 0;
};

// The hotkeys' owner, as the main window is: presses arrive as WM_HOTKEY and are dispatched.
class HotkeyOwner : public WindowImplBase {
 public:
  RecorderHotkeys* hotkeys = nullptr;
  int startPauses = 0;
  int stops = 0;

 protected:
  QString GetSkinFile() override { return {}; }
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t, bool& handled) override {
    if (message == WM_HOTKEY && hotkeys) {
      handled = hotkeys->Dispatch(wParam, [this] { ++startPauses; }, [this] { ++stops; });
    }
    return 0;
  }
};

void PressKeys(const char* keys) {
  const test::CommandResult result = test::RunCommand({"xdotool", "key", keys}, {}, std::chrono::seconds(10));
  ASSERT_TRUE(result.finished && result.exitCode == 0) << "xdotool key " << keys << ": " << result.output;
}

class HotkeysX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::TestDisplayProblem().empty()) << "no X server for the test: " << test::TestDisplayProblem();
    ASSERT_TRUE(dir_.isValid());
    SetSkinFolder(test::SourceSkinFolder());
  }

  std::string Value(std::string_view key) const { return config_.ReadString(kHotkeySection, key, "<missing>"); }
  // Both hotkeys as stored: modifier and key of start/pause, then of stop.
  std::vector<std::string> StoredValues() const {
    return {Value("start-pause-key1"), Value("start-pause-key2"), Value("stop-key1"), Value("stop-key2")};
  }
  const std::vector<std::string> kDefaults{"1", "119", "1", "123"};

  // Registers both hotkeys as the main window does at start-up, and waits until they were tried.
  void RegisterAtStartup(RecorderHotkeys& hotkeys) {
    hotkeys.RegisterAtStartup();
    ASSERT_TRUE(WaitUntil([&] { return !hotkeys.StartupPending(); }));
  }
  // Waits until every setting asked for so far is on the disk.
  void WaitForDisk() { ASSERT_TRUE(WaitUntil([&] { return !disk_.Busy(); })); }

  QPointer<HotkeyDialog> OpenDialog(RecorderHotkeys& hotkeys) {
    QPointer<HotkeyDialog> dialog = new HotkeyDialog(hotkeys);
    EXPECT_TRUE(dialog->Create(nullptr, QStringLiteral("快捷键")));
    dialog->ShowWindow();
    return dialog;
  }
  void CloseDialog(QPointer<HotkeyDialog>& dialog) {
    dialog->Close(0);
    EXPECT_TRUE(WaitUntil([&] { return dialog.isNull(); }));
  }

  // The rows each list of the dialog shows: start/pause modifier and key, stop modifier and key.
  static std::vector<int> ShownRows(HotkeyDialog& dialog) {
    std::vector<int> rows;
    for (const char* name : {"start-pause-key1", "start-pause-key2", "stop-key1", "stop-key2"}) {
      rows.push_back(dialog.FindControl<QComboBox>(QLatin1String(name))->currentIndex());
    }
    return rows;
  }
  // Alt+F8 and Alt+F12.
  const std::vector<int> kDefaultRows{0, 7, 0, 11};

  // Opens the hotkey dialog, checks that it shows the default combinations (those in effect),
  // picks the given rows (-1 leaves a list as it is) and saves. Returns the prompts' texts; the
  // settings written are on the disk.
  QStringList SaveInDialog(RecorderHotkeys& hotkeys, int startPauseModifier, int startPauseKey, int stopModifier,
                           int stopKey) {
    QPointer<HotkeyDialog> dialog = OpenDialog(hotkeys);
    EXPECT_TRUE(WaitUntil([&] { return dialog->CombosShown(); }));
    EXPECT_EQ(ShownRows(*dialog), kDefaultRows);
    const std::pair<const char*, int> rows[] = {{"start-pause-key1", startPauseModifier},
                                                {"start-pause-key2", startPauseKey},
                                                {"stop-key1", stopModifier},
                                                {"stop-key2", stopKey}};
    for (const auto& [name, row] : rows) {
      auto* list = dialog->FindControl<QComboBox>(QLatin1String(name));
      EXPECT_NE(list, nullptr) << name;
      if (list && row >= 0) list->setCurrentIndex(row);
    }
    test::ModalBoxAnswerer answerer;
    dialog->FindControl<QPushButton>(QStringLiteral("hotkey-save-btn"))->click();
    EXPECT_TRUE(dialog->isVisible());  // the dialog stays open after saving
    CloseDialog(dialog);
    WaitForDisk();
    return answerer.texts;
  }

  QTemporaryDir dir_;
  ConfigStore config_{(dir_.path() + "/configure.ini").toStdString()};
  WorkQueue disk_{"zav-test-settings"};
  HotkeyOwner owner_;
  OtherXClient other_;
};

TEST_F(HotkeysX11Test, StartUpTakesTheStoredOrDefaultCombinationsWritesThemBackAndFreesThemAtExit) {
  {
    // The program quits right after start-up: the hotkeys go, then the settings worker ends.
    WorkQueue disk("zav-test-startup");
    RecorderHotkeys hotkeys(&owner_, disk, &config_);
    RegisterAtStartup(hotkeys);
    EXPECT_FALSE(other_.IsFree(kAlt, kF8));
    EXPECT_FALSE(other_.IsFree(kAlt, kF12));
    EXPECT_FALSE(other_.IsFree(kAlt | kNumLock, kF8));  // the lock variants are held too
  }
  EXPECT_EQ(StoredValues(), kDefaults);  // nothing of the write-back was lost
  EXPECT_TRUE(other_.IsFree(kAlt, kF8));
  EXPECT_TRUE(other_.IsFree(kAlt | kNumLock, kF12));

  // Ctrl with no key: the whole pair falls back to Alt+F8.
  config_.WriteString(kHotkeySection, "start-pause-key1", "2");
  config_.WriteString(kHotkeySection, "start-pause-key2", "0");
  RecorderHotkeys hotkeys(&owner_, disk_, &config_);
  RegisterAtStartup(hotkeys);
  WaitForDisk();
  EXPECT_EQ(StoredValues(), kDefaults);
  EXPECT_FALSE(other_.IsFree(kAlt, kF8));
}

// A hand-edited value out of range is no combination: the default holds, the log says why, and
// the dialog shows what is in effect rather than empty lists.
TEST_F(HotkeysX11Test, AStoredCombinationThatIsNotOneFallsBackToTheDefaultAndSaysSo) {
  config_.WriteString(kHotkeySection, "start-pause-key1", "-1");
  config_.WriteString(kHotkeySection, "start-pause-key2", "119");
  test::LogCapture log;
  RecorderHotkeys hotkeys(&owner_, disk_, &config_);
  RegisterAtStartup(hotkeys);
  WaitForDisk();
  EXPECT_FALSE(other_.IsFree(kAlt, kF8));
  EXPECT_FALSE(other_.IsFree(kAlt, kF12));
  EXPECT_EQ(StoredValues(), kDefaults);
  std::vector<std::string> lines = log.From("RecorderHotkeys.cpp");
  std::erase_if(lines, [](const std::string& line) { return line.find("not valid") == std::string::npos; });
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("start-pause-key1=-1"), std::string::npos) << lines[0];

  QPointer<HotkeyDialog> dialog = OpenDialog(hotkeys);
  ASSERT_TRUE(WaitUntil([&] { return dialog->CombosShown(); }));
  EXPECT_EQ(ShownRows(*dialog), kDefaultRows);
  CloseDialog(dialog);
}

TEST_F(HotkeysX11Test, SavingCtrlF5StoresRowsAndValuesFreesAltF8AndKeepsAnUnchosenStopHotkey) {
  RecorderHotkeys hotkeys(&owner_, disk_, &config_);
  RegisterAtStartup(hotkeys);

  const QStringList prompts = SaveInDialog(hotkeys, 1, 4, -1, -1);

  // Stop was left as the dialog showed it: Alt+F12, taken again.
  EXPECT_EQ(prompts, QStringList({QStringLiteral("[开始/暂停], 热键设置成功!"), QStringLiteral("[停止], 热键设置成功!")}));
  EXPECT_EQ(Value("start-pause-key1-index"), "1");
  EXPECT_EQ(Value("start-pause-key2-index"), "4");
  EXPECT_EQ(StoredValues(), (std::vector<std::string>{"2", "116", "1", "123"}));
  EXPECT_FALSE(other_.IsFree(kCtrl, kF5));
  EXPECT_TRUE(other_.IsFree(kAlt, kF8));  // free again at once
  EXPECT_FALSE(other_.IsFree(kAlt, kF12));

  // Opened again, it shows the rows just saved.
  QPointer<HotkeyDialog> dialog = OpenDialog(hotkeys);
  EXPECT_TRUE(WaitUntil([&] { return dialog->CombosShown(); }));
  EXPECT_EQ(ShownRows(*dialog), (std::vector<int>{1, 4, 0, 11}));
  CloseDialog(dialog);
}

TEST_F(HotkeysX11Test, ACombinationHeldByAnotherClientFailsAndTheSaveStopsThere) {
  ASSERT_TRUE(other_.Take(kCtrl, kF5));
  RecorderHotkeys hotkeys(&owner_, disk_, &config_);
  RegisterAtStartup(hotkeys);

  const QStringList prompts = SaveInDialog(hotkeys, 1, 4, 1, 5);

  EXPECT_EQ(prompts, QStringList({QStringLiteral("[开始/暂停], 热键设置失败!")}));
  // Nothing written; start/pause keeps Alt+F8, stop keeps Alt+F12 and Ctrl+F6 stays free.
  EXPECT_EQ(Value("start-pause-key1-index"), "<missing>");
  EXPECT_EQ(Value("stop-key1-index"), "<missing>");
  EXPECT_EQ(StoredValues(), kDefaults);
  EXPECT_FALSE(other_.IsFree(kAlt, kF8));
  EXPECT_FALSE(other_.IsFree(kAlt, kF12));
  EXPECT_TRUE(other_.IsFree(kCtrl, kF6));
}

TEST_F(HotkeysX11Test, KeyPressesReachTheActionsWhateverNumLockAndTheFocus) {
  RecorderHotkeys hotkeys(&owner_, disk_, &config_);
  owner_.hotkeys = &hotkeys;
  RegisterAtStartup(hotkeys);

  PressKeys("alt+F8");
  EXPECT_TRUE(WaitUntil([&] { return owner_.startPauses == 1; }));

  PressKeys("Num_Lock");
  ASSERT_TRUE(WaitUntil([&] { return (other_.ModifierState() & kNumLock) != 0; })) << "NumLock did not come on";
  PressKeys("alt+F8");
  EXPECT_TRUE(WaitUntil([&] { return owner_.startPauses == 2; }));
  PressKeys("Num_Lock");

  // One of the program's own windows has the keyboard: the press still is a hotkey.
  QWidget focused;
  focused.resize(200, 100);
  focused.show();
  focused.activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return focused.isActiveWindow(); })) << "the window did not get the focus";
  PressKeys("alt+F12");
  EXPECT_TRUE(WaitUntil([&] { return owner_.stops == 1; }));
  EXPECT_EQ(owner_.startPauses, 2);
}

// A session bus with a desktop portal that gives global shortcuts does not change X11: the keys
// are grabbed as ever, and the portal is not asked.
TEST_F(HotkeysX11Test, TheKeysAreGrabbedEvenWhereTheSessionBusHasAPortalWithGlobalShortcuts) {
  ASSERT_FALSE(test::TestBusAddress().empty()) << "no private session bus for the test";
  test::BusService portal(ZAV_TEST_PORTAL_PATH, {}, test::TestBusAddress());
  ASSERT_TRUE(portal.running()) << portal.error();
  RecorderHotkeys hotkeys(&owner_, disk_, &config_);
  RegisterAtStartup(hotkeys);
  EXPECT_TRUE(hotkeys.Unsupported().empty());
  EXPECT_TRUE(hotkeys.Current(HotkeyAction::kStartPause));
  EXPECT_FALSE(other_.IsFree(kAlt, kF8));
  EXPECT_FALSE(other_.IsFree(kAlt, kF12));
  const QDBusMessage calls = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.zav.TestPortal"), QStringLiteral("Calls")));
  ASSERT_EQ(calls.type(), QDBusMessage::ReplyMessage) << calls.errorMessage().toStdString();
  EXPECT_EQ(calls.arguments().value(0).toStringList(), QStringList());
}

}  // namespace
}  // namespace zav
