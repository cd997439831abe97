// The program on a Wayland desktop (a private headless weston, a private session bus): the
// platform it picks, its window recording through its buttons, the global hotkeys through the
// desktop portal's stand-in (both shortcuts driving one recording, a change in the dialog
// bound anew; a desktop without them said so), and the tray icon through the stand-in of the
// tray's watcher (it registers, its click shows the window, the menu the panel draws works).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWindow>

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>

#include "../net/LogCapture.h"
#include "AudioFile.h"
#include "ChildProcess.h"
#include "ConfigStore.h"
#include "MainWndHarness.h"
#include "PlatformChoice.h"
#include "ProgramUnderTest.h"
#include "CronJobStore.h"
#include "PulseServer.h"
#include "SessionBus.h"
#include "UiTestSupport.h"
#include "WaylandTestEnvironment.h"
#include "dui/PromptBoxDialog.h"
#include "dui/Skin.h"
#include "dui/WndShadow.h"
#include "dui/WorkQueue.h"
#include "hotkeys/HotkeyDialog.h"
#include "hotkeys/RecorderHotkeys.h"
#include "recordings/RecordingsList.h"
#include "tray/TrayArea.h"

namespace zav::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSpeakerHz = 1000;
constexpr int kMicrophoneHz = 440;
constexpr int kRate = 44100;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

EnvironmentReader Environment(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const char* name) {
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  };
}

TEST(WaylandPlatformTest, TheProgramRunsOnWaylandInAWaylandSessionAndOnX11Otherwise) {
  EXPECT_EQ(ChooseQtPlatform(Environment({{"WAYLAND_DISPLAY", "wayland-0"}})), "wayland");
  // Some Qt builds would take X (XWayland) on some desktops; X stays only the fallback.
  EXPECT_EQ(ChooseQtPlatform(Environment({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"},
                                          {"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "GNOME"}})),
            "wayland;xcb");
  EXPECT_EQ(ChooseQtPlatform(Environment({{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}})), "wayland;xcb");
  EXPECT_EQ(ChooseQtPlatform(Environment({{"DISPLAY", ":0"}})), "xcb");
  // An X11 session with a stray Wayland display (a nested compositor) stays on X11.
  EXPECT_EQ(ChooseQtPlatform(Environment({{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_SESSION_TYPE", "x11"}})),
            "xcb");
  // The user's own choice, and no display at all, are left to Qt and to the display check.
  EXPECT_EQ(ChooseQtPlatform(Environment({{"QT_QPA_PLATFORM", "offscreen"}, {"WAYLAND_DISPLAY", "wayland-0"}})), "");
  EXPECT_EQ(ChooseQtPlatform(Environment({})), "");

  // The program itself in this test's Wayland session, where no X display exists.
  ASSERT_TRUE(WaylandTestProblem().empty()) << "no Wayland desktop for the test: " << WaylandTestProblem();
  ProgramHome home;
  std::unique_ptr<QProcess> program = StartProgram(home, {});
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("main window shown"))) << home.LogText().toStdString();
  EXPECT_TRUE(home.LogText().contains(QStringLiteral("platform wayland"))) << home.LogText().toStdString();
  StopProgram(*program);
  EXPECT_EQ(program->exitCode(), 0);

  // Started with the desktop (the autostart entry's option), it stays in the tray.
  ProgramHome autostarted;
  program = StartProgram(autostarted, {}, {}, {}, {QStringLiteral("--hidden")});
  ASSERT_TRUE(WaitForLog(autostarted, QStringLiteral("main window hidden in the tray"))) << autostarted.LogText().toStdString();
  EXPECT_FALSE(autostarted.LogText().contains(QStringLiteral("main window shown")));
  StopProgram(*program);
  EXPECT_EQ(program->exitCode(), 0);
}

// A shadow is a window of its own beside its box, and Wayland lets the compositor place every
// window: the boxes go without one rather than with one somewhere else on the screen.
TEST(WaylandPlatformTest, TheBoxesHaveNoShadowWindow) {
  ASSERT_TRUE(WaylandTestProblem().empty()) << "no Wayland desktop for the test: " << WaylandTestProblem();
  SetSkinFolder(SourceSkinFolder());
  EXPECT_FALSE(CWndShadow::InitShadowSupport());
  QPointer<PromptBoxDialog> box = new PromptBoxDialog(QStringLiteral("提示"), 200, 100);
  ASSERT_TRUE(box->Create(nullptr, QStringLiteral("PromptBoxDialog")));
  box->ShowWindow();
  ASSERT_TRUE(WaitUntil([&] { return box->windowHandle() && box->windowHandle()->isExposed(); }));
  EXPECT_EQ(box->Shadow().ShadowWindow(), nullptr);
  box->DestroyWindow();
}

class WaylandDesktopTest : public MainWndTestBase {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WaylandTestProblem().empty()) << "no Wayland desktop for the test: " << WaylandTestProblem();
    MainWndTestBase::SetUp();
    SetTrayCheck(nullptr);  // the tray is what the session bus offers
  }
  void TearDown() override {
    MainWndTestBase::TearDown();
    server.reset();
  }

  bool StartServer() {
    PulseServerOptions options;
    options.microphone = MicrophoneKind::kFedSink;
    options.outputToneHz = kSpeakerHz;
    options.keepOutputFlowing = true;
    server = std::make_unique<PulseServer>(options);
    return server->running() && server->PlayTone(PulseServer::kMicrophoneFeedSink, kMicrophoneHz) >= 0;
  }
  bool WaitForInfo(const char* info, int timeoutMs = 10000) {
    return WaitUntil([&] { return Text("recorder-info") == QString::fromUtf8(info); }, timeoutMs);
  }
  bool WaitForProgress(const char* progress) {
    return WaitUntil([&] { return Text("recorder-progress") == QString::fromUtf8(progress); });
  }

  // The one recording in the output folder, once it is listed: its length is the unpaused time
  // and both sounds are in it, before the pause and after it.
  void CheckTheRecording(double unpausedSeconds) {
    ASSERT_TRUE(WaitUntil([&] { return window->recordings().RowCount() == 1; }));
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder())) files.push_back(entry.path().string());
    ASSERT_EQ(files.size(), 1u);
    const DecodedAudio audio = DecodeFile(files[0]);
    ASSERT_TRUE(audio.ok) << audio.error;
    EXPECT_NEAR(audio.seconds(), unpausedSeconds, 0.6);
    for (const double at : {0.5, audio.seconds() - 1.5}) {
      const auto from = static_cast<size_t>(at * kRate);
      const size_t to = from + kRate;
      EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, from, to), 0.05) << at;
      EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, from, to), 0.05) << at;
    }
  }

  std::unique_ptr<PulseServer> server;
};

#define START_SERVER_OR_SKIP()                                                               \
  if (!StartServer()) {                                                                      \
    if (FindProgram("pulseaudio").empty()) GTEST_SKIP() << "pulseaudio is not installed";    \
    FAIL() << "the test sound server did not start: " << (server ? server->error() : "");    \
  }

TEST_F(WaylandDesktopTest, TheWindowShowsOnWaylandAndRecordsThroughItsButtons) {
  START_SERVER_OR_SKIP();
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
  OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }))
      << "the compositor did not show the window";

  Click("recorder-start");
  ASSERT_TRUE(WaitForInfo("正在录音"));
  const auto started = Clock::now();
  ASSERT_TRUE(WaitForProgress("00:00:02"));
  Click("recorder-pause");
  const auto paused = Clock::now();
  ASSERT_TRUE(WaitForInfo("暂停录音"));
  WaitUntil([] { return false; }, 1000);
  Click("recorder-start");
  const auto resumed = Clock::now();
  ASSERT_TRUE(WaitForInfo("正在录音"));
  ASSERT_TRUE(WaitForProgress("00:00:04"));
  Click("recorder-stop");
  const auto stopped = Clock::now();
  CheckTheRecording(Seconds(paused - started) + Seconds(stopped - resumed));
}

// The portal's Activated signal for a shortcut, as a press of its keys would give.
void Press(const char* shortcut) {
  const QDBusMessage reply = CallPortal(QStringLiteral("Activate"), {QString::fromLatin1(shortcut)});
  ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
  ASSERT_TRUE(reply.arguments().value(0).toBool()) << shortcut << " is not bound";
}

QStringList Bound() { return CallPortal(QStringLiteral("Bound")).arguments().value(0).toStringList(); }

TEST_F(WaylandDesktopTest, BothShortcutsThroughThePortalDriveOneRecordingAndTheDialogBindsThemAnew) {
  START_SERVER_OR_SKIP();
  const std::unique_ptr<BusService> portal = StartPortal();
  ASSERT_TRUE(portal->running()) << portal->error();
  OpenWindow();  // waits for the hotkeys' registration too
  // The stored combinations (here the defaults) are the preferred triggers, and are stored back.
  EXPECT_EQ(Bound(), QStringList({QStringLiteral("start-pause=ALT+F8"), QStringLiteral("stop=ALT+F12")}));
  EXPECT_EQ(ConfigStore::Instance().ReadString(kHotkeySection, "start-pause-key2", ""), "119");

  Press("start-pause");
  ASSERT_TRUE(WaitForInfo("正在录音"));
  const auto started = Clock::now();
  ASSERT_TRUE(WaitForProgress("00:00:02"));
  Press("start-pause");
  ASSERT_TRUE(WaitForInfo("暂停录音"));
  const auto paused = Clock::now();
  WaitUntil([] { return false; }, 1000);
  Press("start-pause");
  ASSERT_TRUE(WaitForInfo("正在录音"));
  const auto resumed = Clock::now();
  ASSERT_TRUE(WaitForProgress("00:00:04"));
  Press("stop");
  const auto stopped = Clock::now();
  ASSERT_TRUE(WaitForInfo("准备录音"));
  CheckTheRecording(Seconds(paused - started) + Seconds(stopped - resumed));

  // Ctrl+F5 for start/pause in the dialog: a new session asks for it, the settings keep it,
  // and its shortcut still starts a recording.
  QStringList prompts;
  bool noteAsUsual = false;
  boxes.useDialog = [&](QWidget* box) {
    auto* dialog = qobject_cast<HotkeyDialog*>(box);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return dialog->CombosShown(); }));
    noteAsUsual = dialog->FindControl<QLabel>(QStringLiteral("dialog-note"))->text() != HotkeyDialog::kUnsupportedNote;
    dialog->FindControl<QComboBox>(QStringLiteral("start-pause-key1"))->setCurrentIndex(1);
    dialog->FindControl<QComboBox>(QStringLiteral("start-pause-key2"))->setCurrentIndex(4);
    ModalBoxAnswerer answerer;
    auto* save = dialog->FindControl<QPushButton>(QStringLiteral("hotkey-save-btn"));
    save->click();
    ASSERT_TRUE(WaitUntil([&] { return save->isEnabled() && answerer.texts.size() == 2; }));
    prompts = answerer.texts;
  };
  Click("hotkey-btn");
  EXPECT_TRUE(noteAsUsual);
  EXPECT_EQ(prompts, QStringList({QStringLiteral("[开始/暂停], 热键设置成功!"), QStringLiteral("[停止], 热键设置成功!")}));
  EXPECT_EQ(Bound(), QStringList({QStringLiteral("start-pause=CTRL+F5"), QStringLiteral("stop=ALT+F12")}));
  WaitForSettings();
  EXPECT_EQ(ConfigStore::Instance().ReadString(kHotkeySection, "start-pause-key1", ""), "2");
  EXPECT_EQ(ConfigStore::Instance().ReadString(kHotkeySection, "start-pause-key2", ""), "116");
  Press("start-pause");
  EXPECT_TRUE(WaitForInfo("正在录音"));
  Press("stop");
  EXPECT_TRUE(WaitForInfo("准备录音"));
}

// Stands for the main window: the hotkeys' owner.
class OwnerWindow : public WindowImplBase {
 protected:
  QString GetSkinFile() override { return {}; }
};

TEST(WaylandHotkeysTest, WithoutTheDesktopsGlobalShortcutsTheDialogSaysSoAndTheLogSaysWhyOnce) {
  ASSERT_TRUE(WaylandTestProblem().empty()) << "no Wayland desktop for the test: " << WaylandTestProblem();
  SetSkinFolder(SourceSkinFolder());
  struct Desktop {
    const char* what;
    std::optional<std::vector<std::string>> portalOptions;  // nullopt: no portal at all
    const char* why;
  };
  const Desktop desktops[] = {
      {"no portal", std::nullopt, "no desktop portal on the session bus"},
      {"a portal without global shortcuts", std::vector<std::string>{"--without-shortcuts"},
       "the desktop portal has no GlobalShortcuts interface"},
      {"a user who refuses them", std::vector<std::string>{"--refuse"}, "the user refused the global shortcuts"},
  };
  for (const Desktop& desktop : desktops) {
    SCOPED_TRACE(desktop.what);
    std::unique_ptr<BusService> portal;
    if (desktop.portalOptions) {
      portal = StartPortal(*desktop.portalOptions);
      ASSERT_TRUE(portal->running()) << portal->error();
    }
    QTemporaryDir dir;
    ConfigStore config((dir.path() + "/configure.ini").toStdString());
    WorkQueue disk("zav-test-settings");
    OwnerWindow owner;
    LogCapture log;
    RecorderHotkeys hotkeys(&owner, disk, &config);
    hotkeys.RegisterAtStartup();
    ASSERT_TRUE(WaitUntil([&] { return !hotkeys.StartupPending() && !disk.Busy(); }, 15000));
    EXPECT_FALSE(hotkeys.Current(HotkeyAction::kStartPause));
    EXPECT_FALSE(hotkeys.Current(HotkeyAction::kStop));
    EXPECT_NE(hotkeys.Unsupported().find(desktop.why), std::string::npos) << hotkeys.Unsupported();
    EXPECT_FALSE(std::filesystem::exists(config.path()));  // nothing taken, nothing written back

    QPointer<HotkeyDialog> dialog = new HotkeyDialog(hotkeys);
    ASSERT_TRUE(dialog->Create(nullptr, QStringLiteral("快捷键")));
    dialog->ShowWindow();
    ASSERT_TRUE(WaitUntil([&] { return dialog->CombosShown(); }));
    EXPECT_EQ(dialog->FindControl<QLabel>(QStringLiteral("dialog-note"))->text(), HotkeyDialog::kUnsupportedNote);
    EXPECT_FALSE(dialog->FindControl<QPushButton>(QStringLiteral("hotkey-save-btn"))->isEnabled());
    EXPECT_FALSE(dialog->FindControl<QComboBox>(QStringLiteral("start-pause-key1"))->isEnabled());
    dialog->Close(0);
    ASSERT_TRUE(WaitUntil([&] { return dialog.isNull(); }));

    std::vector<std::string> reasons;
    for (const std::string& line : log.From("PortalGlobalHotkeys.cpp")) {
      if (line.find("gives no global hotkeys") != std::string::npos) reasons.push_back(line);
    }
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find(desktop.why), std::string::npos) << reasons[0];
  }
}

TEST_F(WaylandDesktopTest, TheTrayIconRegistersItsClickBringsTheWindowBackAndThePanelsMenuWorks) {
  WriteSetting("window-close", "1");
  OpenWindow();
  ASSERT_TRUE(WaitUntil([] { return !CallTray(QStringLiteral("Items")).arguments().value(0).toStringList().isEmpty(); }))
      << "the icon did not register with the watcher";
  EXPECT_EQ(CallTray(QStringLiteral("ToolTipTitle")).arguments().value(0).toString(), QStringLiteral("ZAV电脑录音软件"));
  EXPECT_TRUE(CallTray(QStringLiteral("HasIcon")).arguments().value(0).toBool());

  // With the icon there, closing only minimises (which Wayland does not report to the window):
  // the program goes on.
  window->Close(0);
  WaitUntil([] { return false; }, 300);
  ASSERT_FALSE(window.isNull()) << "closing quit although the icon is there";
  // A click on the icon brings back a window the user no longer sees.
  window->hide();
  ASSERT_TRUE(CallTray(QStringLiteral("Activate")).arguments().value(0).toBool());
  EXPECT_TRUE(WaitUntil([&] { return window && window->isVisible() && window->windowHandle()->isExposed(); }));

  // The panel draws the skin's menu.
  EXPECT_EQ(CallTray(QStringLiteral("MenuLabels")).arguments().value(0).toStringList(),
            QStringList({QStringLiteral("显示主界面"), QStringLiteral("系统设置"), QStringLiteral("意见反馈"),
                         QStringLiteral("帮助"), QStringLiteral("检查更新"), QStringLiteral("退出")}));
  window->hide();
  ASSERT_TRUE(CallTray(QStringLiteral("ClickMenu"), {QStringLiteral("显示主界面")}).arguments().value(0).toBool());
  EXPECT_TRUE(WaitUntil([&] { return window && window->isVisible() && window->windowHandle()->isExposed(); }));

  bool trayChoiceOffered = false;
  boxes.useDialog = [&](QWidget* dialog) {
    auto* tray = dialog->findChild<QRadioButton*>(QStringLiteral("window-close-tray"));
    trayChoiceOffered = tray && tray->isEnabled();
  };
  ASSERT_TRUE(CallTray(QStringLiteral("ClickMenu"), {QStringLiteral("系统设置")}).arguments().value(0).toBool());
  EXPECT_TRUE(WaitUntil([&] { return boxes.Texts().contains(QStringLiteral("系统设置")); }));
  EXPECT_TRUE(trayChoiceOffered);

  ASSERT_TRUE(CallTray(QStringLiteral("ClickMenu"), {QStringLiteral("退出")}).arguments().value(0).toBool());
  EXPECT_TRUE(WaitUntil([&] { return window.isNull(); }));
  EXPECT_TRUE(WaitUntil([] { return CallTray(QStringLiteral("Items")).arguments().value(0).toStringList().isEmpty(); }));
}

// What the notification stand-in was shown: number, summary, body and actions, a note a line.
QStringList Notes() {
  return CallOnBus(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
                   QStringLiteral("org.zav.TestNotifications"), QStringLiteral("Notes"))
      .arguments()
      .value(0)
      .toStringList();
}

// The largest step from one sample to the next: a sum of tones moves at most by 2 pi f a / rate
// per sample, a click (a gap, a jump) by far more.
double LargestStep(const std::vector<float>& samples, size_t from, size_t to) {
  double largest = 0;
  for (size_t i = from + 1; i < to; ++i) largest = std::max(largest, std::fabs(double{samples[i]} - samples[i - 1]));
  return largest;
}

// With the window hidden, as in the tray: a scheduled job records both sounds on its own, the
// desktop's notification service hears that it started and where its file was saved (whose
// action shows the file), and the file is listed. A microphone that goes away for good while
// the user records is said in a notification too.
TEST_F(WaylandDesktopTest, AJobRecordsWhileTheWindowIsHiddenAndTheNotificationsSayWhatHappened) {
  START_SERVER_OR_SKIP();
  BusService notifications(ZAV_TEST_NOTIFICATIONS_PATH, {}, TestBusAddress());
  ASSERT_TRUE(notifications.running()) << notifications.error();
  WriteSetting("audio-format", "2");  // wav: the samples as recorded
  const std::time_t start = std::time(nullptr) + 2;
  auto text = [](std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(out);
  };
  CronJobStore store(DefaultJobFilePath());
  ASSERT_TRUE(store.Add({"Lecture", text(start), text(start + 5), 0, true}).written);
  OpenWindow();
  window->hide();

  ASSERT_TRUE(WaitUntil([] { return Notes().size() == 2; }, 15000)) << Notes().join(QLatin1Char('|')).toStdString();
  ASSERT_TRUE(WaitUntil([&] { return window->recordings().RowCount() == 1; }));
  const QStringList notes = Notes();
  const QStringList started = notes[0].split(QLatin1Char('\t'));
  const QStringList saved = notes[1].split(QLatin1Char('\t'));
  EXPECT_EQ(started.value(1), QStringLiteral("开始录音"));
  EXPECT_TRUE(started.value(2).startsWith(QStringLiteral("定时任务“Lecture”开始录音"))) << started.value(2).toStdString();
  EXPECT_EQ(saved.value(1), QStringLiteral("录音已保存"));
  EXPECT_EQ(saved.value(0), started.value(0)) << "the saved note does not take the started one's place";
  const std::string path = saved.value(2).toStdString();
  EXPECT_EQ(std::filesystem::path(path).parent_path(), folder());
  EXPECT_EQ(std::filesystem::path(path).filename().string().rfind("Lecture-", 0), 0u) << path;

  const DecodedAudio audio = DecodeFile(path);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), 5.0, 0.3);
  const size_t n = audio.left.size();
  const double speaker = ToneAmplitude(audio.left, kRate, kSpeakerHz, kRate / 5, n - kRate / 5);
  const double microphone = ToneAmplitude(audio.left, kRate, kMicrophoneHz, kRate / 5, n - kRate / 5);
  for (size_t from = kRate / 5; from + kRate / 2 <= n - kRate / 5; from += kRate / 2) {
    EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, from, from + kRate / 2), speaker * 0.8) << from;
    EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, from, from + kRate / 2), microphone * 0.8) << from;
  }
  const double smooth = 2 * M_PI * (kSpeakerHz * speaker + kMicrophoneHz * microphone) / kRate;
  EXPECT_LT(LargestStep(audio.left, kRate / 20, n - kRate / 20), smooth * 1.5 + 0.01) << "a click in the recording";

  // The saved note's action shows the file.
  const QDBusMessage invoked =
      CallOnBus(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
                QStringLiteral("org.zav.TestNotifications"), QStringLiteral("Invoke"), {saved.value(0).toUInt()});
  ASSERT_TRUE(invoked.arguments().value(0).toBool());
  ASSERT_TRUE(WaitUntil([&] { return !shell.shown.empty(); }));
  EXPECT_EQ(shell.shown.back(), LocalFileUrl(path));

  // A hotkey starts a recording with the window hidden, and the microphone goes for good.
  window->StartRecording();
  ASSERT_TRUE(WaitUntil([] { return Notes().size() == 3; }));
  WaitUntil([] { return false; }, 1000);
  ASSERT_TRUE(server->UnloadMicrophone());
  WaitUntil([] { return false; }, 1000);
  window->StopRecording();
  ASSERT_TRUE(WaitUntil([] { return Notes().size() == 4; })) << Notes().join(QLatin1Char('|')).toStdString();
  const QStringList lost = Notes()[3].split(QLatin1Char('\t'));
  EXPECT_EQ(lost.value(1), QStringLiteral("录音出错"));
  EXPECT_EQ(lost.value(2), QStringLiteral("录音中麦克风已断开,此后的录音为静音!"));
  EXPECT_TRUE(boxes.seen.empty()) << "a box opened over a hidden window: " << boxes.Texts().join('|').toStdString();
}

// The program as the user runs it, on a desktop whose portal gives global shortcuts but whose
// panel hosts no tray icons: the portal is a process of its own that sends each press as the
// desktop's does (Activated and Deactivated at once, to the program alone), and the test only
// speaks to the portal. The shortcuts were bound but every press was dropped (Qt could not
// connect the press signal until something else had registered the object-path type).
TEST(WaylandProgramTest, ThePortalsShortcutsStartAndStopARecordingOnADesktopWithoutATray) {
  ASSERT_TRUE(WaylandTestProblem().empty()) << "no Wayland desktop for the test: " << WaylandTestProblem();
  PulseServerOptions options;
  options.outputToneHz = kSpeakerHz;
  options.keepOutputFlowing = true;
  PulseServer sound(options);
  ASSERT_TRUE(sound.running()) << sound.error();
  SessionBus desktopBus;  // the portal, and no tray watcher
  ASSERT_TRUE(desktopBus.running()) << desktopBus.error();
  BusService portal(ZAV_TEST_PORTAL_PATH, {}, desktopBus.address());
  ASSERT_TRUE(portal.running()) << portal.error();
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(desktopBus.address()), QStringLiteral("desktop"));
  auto press = [&](const char* shortcut) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.zav.TestPortal"), QStringLiteral("Activate"));
    call << QString::fromLatin1(shortcut);
    return bus.call(call).arguments().value(0).toBool();
  };

  ProgramHome home;
  QProcessEnvironment desktop;
  desktop.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromStdString(desktopBus.address()));
  std::unique_ptr<QProcess> program = StartProgram(home, {}, {}, desktop);
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("hotkeys registered: start/pause yes, stop yes")))
      << home.LogText().toStdString();
  ASSERT_TRUE(press("start-pause"));
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("recording /"), 5000)) << "the press was dropped";
  const auto started = Clock::now();
  WaitUntil([] { return false; }, 2000);
  ASSERT_TRUE(press("stop"));
  const auto stopped = Clock::now();
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("recording finished"), 5000));
  StopProgram(*program);
  QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));

  const QRegularExpressionMatch path =
      QRegularExpression(QStringLiteral("recording finished (\\S+)")).match(home.LogText());
  ASSERT_TRUE(path.hasMatch());
  const DecodedAudio audio = DecodeFile(path.captured(1).toStdString());
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), Seconds(stopped - started), 0.3);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, kRate / 2, kRate * 3 / 2), 0.05);
}

}  // namespace
}  // namespace zav::test
