// The main window without a sound server: the stored choices it shows (and does not write
// back), the choices the user changes, the output folder, the buttons that lead elsewhere and
// the elapsed time posted by the recording's threads.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <filesystem>
#include <thread>

#include "ConfigStore.h"
#include "MainWndHarness.h"
#include "ServiceAddress.h"
#include "UiTestSupport.h"
#include "mainwindow/ElapsedTime.h"
#include "mainwindow/RecordingPrompts.h"
#include "mainwindow/SettingWrites.h"
#include "mainwindow/StoredChoices.h"
#include "tray/TrayMessages.h"

namespace zav::test {
namespace {

TEST(ElapsedTimeTest, FormatsHoursMinutesSecondsAndUnknownDurations) {
  EXPECT_EQ(FormatElapsedTime(0), QStringLiteral("00:00:00"));
  EXPECT_EQ(FormatElapsedTime(3725), QStringLiteral("01:02:05"));
  EXPECT_EQ(FormatElapsedTime(360000), QStringLiteral("100:00:00"));
  EXPECT_EQ(FormatElapsedTime(-5), QStringLiteral("00:00:00"));
  EXPECT_EQ(FormatDurationText(59.9), QStringLiteral("00:00:59"));
  EXPECT_EQ(FormatDurationText(3725.0), QStringLiteral("01:02:05"));
  EXPECT_EQ(FormatDurationText(-1), kUnknownDuration);
  EXPECT_EQ(FormatDurationText(std::nan("")), kUnknownDuration);
}

// The rows the sound-server tests cannot reach: a recorder that fails to open, and a format
// that is none of the three, which ends silently.
TEST(RecordingPromptsTest, AFailedOpenIsADeviceErrorAndABadFormatSaysNothing) {
  const auto failed = PromptForStart(StartResult::kInitFailed);
  ASSERT_TRUE(failed.has_value());
  EXPECT_EQ(failed->text, QStringLiteral("音频设备出错!"));
  EXPECT_EQ(QSize(failed->width, failed->height), QSize(200, 100));
  EXPECT_FALSE(PromptForStart(StartResult::kBadFormat).has_value());
  EXPECT_FALSE(PromptForStart(StartResult::kStarted).has_value());
}

class MainWndTest : public MainWndTestBase {};

// What a screen reader does to a check box or an option: the button's accessible toggle action.
void ToggleAccessibly(QAbstractButton* button) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
  ASSERT_TRUE(accessible && accessible->actionInterface());
  accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
}

TEST_F(MainWndTest, ShowsTheSkinUnderItsCaptionAndCarriesTheSecondStartMark) {
  OpenWindow();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("ZAV电脑录音软件"));
  EXPECT_EQ(WindowImplBase::FindWindowWithProp(CMainWnd::kWindowProp), window.data());
  EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());  // no sizing frame
  EXPECT_FALSE(window->windowIcon().isNull());
  EXPECT_EQ(Control<QLineEdit>("save-path-eidt")->text().toStdString(), folder());

  // Destroying the main window ends the program's event loop with 0.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(5000);
  window->Close(0);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_EQ(WindowImplBase::FindWindowWithProp(CMainWnd::kWindowProp), nullptr);
}

TEST_F(MainWndTest, TheElapsedTimeFollowsTheCurrentRecordingOnly) {
  OpenWindow();
  std::thread engine([w = window.data()] { w->PostMessage(WM_RECORD_SECONDS, 0, 3725); });
  engine.join();
  EXPECT_TRUE(WaitUntil([&] { return Text("recorder-progress") == QStringLiteral("01:02:05"); }));
  // Seconds of a recording that is no longer current (still queued after its stop).
  window->PostMessage(WM_RECORD_SECONDS, 7, 12);
  WaitUntil([] { return false; }, 50);
  EXPECT_EQ(Text("recorder-progress"), QStringLiteral("01:02:05"));
}

TEST_F(MainWndTest, StoredChoicesAreShownAndNotWrittenBack) {
  WriteSetting("voice-size", "0");
  WriteSetting("voice-bitrate-index", "7");
  WriteSetting("audio-format", "2");
  WriteSetting("voice-source", "2");
  WriteSetting("agc-check", "1");
  WriteSetting("noise-check", "0");
  WriteSetting("echo-cancel", "1");
  const std::string before = SettingsText();
  OpenWindow();

  EXPECT_EQ(Control<QSlider>("mic-strengthen-slider")->value(), 20);  // 0 shows as 20
  EXPECT_EQ(Text("mic-strengthen-label"), QStringLiteral("20"));
  EXPECT_EQ(Control<QComboBox>("record-audio-quality")->currentText(), QStringLiteral("128kbps"));  // the skin's
  EXPECT_EQ(Control<QComboBox>("record-audio-format")->currentText(), QStringLiteral("wav"));
  EXPECT_EQ(Control<QComboBox>("record-audio-origin")->currentIndex(), 2);
  EXPECT_TRUE(Control<QCheckBox>("agc-check")->isChecked());
  EXPECT_FALSE(Control<QCheckBox>("noise-check")->isChecked());
  EXPECT_TRUE(Control<QCheckBox>("aec-check")->isChecked());
  // A wav is recorded without voice processing: its switches are greyed out, not changed.
  EXPECT_FALSE(Control<QCheckBox>("agc-check")->isEnabled());
  EXPECT_FALSE(Control<QCheckBox>("noise-check")->isEnabled());
  EXPECT_FALSE(Control<QCheckBox>("aec-check")->isEnabled());
  EXPECT_EQ(Text("recorder-info"), QStringLiteral("准备录音"));
  WaitForSettings();
  EXPECT_EQ(SettingsText(), before);
  auto* format = Control<QComboBox>("record-audio-format");
  format->setFocus();
  QTest::keyClick(format, Qt::Key_Up);
  EXPECT_TRUE(Control<QCheckBox>("agc-check")->isEnabled());
  EXPECT_TRUE(Control<QCheckBox>("noise-check")->isEnabled());
  EXPECT_TRUE(Control<QCheckBox>("aec-check")->isEnabled());
}

TEST_F(MainWndTest, ChoicesTheUserMakesAreStoredAtOnceAndComeBackAtTheNextStart) {
  OpenWindow();
  auto* format = Control<QComboBox>("record-audio-format");
  auto* quality = Control<QComboBox>("record-audio-quality");
  auto* origin = Control<QComboBox>("record-audio-origin");
  EXPECT_EQ(quality->currentText(), QStringLiteral("64kbps"));  // nothing stored: item 0
  auto* agc = Control<QCheckBox>("agc-check");
  QTest::mouseClick(agc, Qt::LeftButton, {}, QPoint(6, agc->height() / 2));
  // Echo cancellation is off unless chosen: a settings file from before it behaves as ever.
  auto* aec = Control<QCheckBox>("aec-check");
  EXPECT_FALSE(aec->isChecked());
  EXPECT_FALSE(ReadStoredRecordingSettings().echoCancellation);
  QTest::mouseClick(aec, Qt::LeftButton, {}, QPoint(6, aec->height() / 2));
  for (QComboBox* combo : {format, format, quality, quality, quality, origin}) {
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
  }
  auto* boost = Control<QSlider>("mic-strengthen-slider");
  boost->setFocus();
  QTest::keyClick(boost, Qt::Key_PageUp);
  const int boostValue = boost->value();
  EXPECT_EQ(Text("mic-strengthen-label"), QString::number(boostValue));
  WaitForSettings();

  EXPECT_EQ(ReadSetting("audio-format"), "2");
  EXPECT_EQ(ReadSetting("voice-bitrate-index"), "3");
  EXPECT_EQ(ReadSetting("voice-bitrate"), "192000");
  EXPECT_EQ(ReadSetting("voice-source"), "1");
  EXPECT_EQ(ReadSetting("voice-size"), std::to_string(boostValue));
  EXPECT_EQ(ReadSetting("agc-check"), "1");
  EXPECT_EQ(ReadSetting("noise-check"), "<none>");
  EXPECT_EQ(ReadSetting("echo-cancel"), "1");
  EXPECT_TRUE(ReadStoredRecordingSettings().echoCancellation) << "the next recording does not get it";

  CloseWindow();
  OpenWindow();
  EXPECT_EQ(Control<QComboBox>("record-audio-format")->currentText(), QStringLiteral("wav"));
  EXPECT_EQ(Control<QComboBox>("record-audio-quality")->currentText(), QStringLiteral("192kbps"));
  EXPECT_EQ(Control<QComboBox>("record-audio-origin")->currentIndex(), 1);
  EXPECT_EQ(Control<QSlider>("mic-strengthen-slider")->value(), boostValue);
  EXPECT_TRUE(Control<QCheckBox>("agc-check")->isChecked());
  EXPECT_TRUE(Control<QCheckBox>("aec-check")->isChecked());
}

// A check box changed without the mouse (the keyboard, a screen reader's toggle action) is the
// user's change as much as a click: what it shows is what the next recording gets.
TEST_F(MainWndTest, ChecksChangedWithoutTheMouseAreStoredToo) {
  WriteSetting("agc-check", "1");
  OpenWindow();
  auto* noise = Control<QCheckBox>("noise-check");
  auto* agc = Control<QCheckBox>("agc-check");
  ASSERT_TRUE(agc->isChecked());
  ToggleAccessibly(noise);
  agc->setFocus();
  QTest::keyClick(agc, Qt::Key_Space);
  WaitForSettings();
  EXPECT_TRUE(noise->isChecked());
  EXPECT_EQ(ReadSetting("noise-check"), "1");
  EXPECT_FALSE(agc->isChecked());
  EXPECT_EQ(ReadSetting("agc-check"), "0");

  // The close options of the settings dialog likewise.
  boxes.useDialog = [](QWidget* dialog) {
    if (auto* tray = dialog->findChild<QRadioButton*>(QStringLiteral("window-close-tray"))) ToggleAccessibly(tray);
  };
  window->PostMessage(kMenuSeting);
  ASSERT_TRUE(WaitUntil([&] { return boxes.Texts().contains(QStringLiteral("系统设置")); }));
  WaitForSettings();
  EXPECT_EQ(ReadSetting("window-close"), "1");
}

// A change that cannot reach the settings file is not lost without a word.
TEST_F(MainWndTest, AChangeTheSettingsFileCannotTakeIsToldToTheUser) {
  OpenWindow();
  const std::filesystem::path ini = ConfigStore::Instance().path();
  std::filesystem::remove(ini);
  std::filesystem::create_directory(ini);  // a folder in the file's place: no write gets through
  auto* quality = Control<QComboBox>("record-audio-quality");
  quality->setFocus();
  QTest::keyClick(quality, Qt::Key_Down);
  ASSERT_TRUE(WaitUntil([&] { return boxes.Texts().contains(kSettingsNotStoredText); }));
  EXPECT_EQ(boxes.seen.back().size, QSize(250, 100));

  // Nor is a chosen output folder that the file cannot take.
  QTemporaryDir other;
  const qsizetype before = boxes.Texts().count(kSettingsNotStoredText);
  PickFolderNext(other.path());
  Click("change-dir-btn");
  ASSERT_TRUE(WaitUntil([&] { return boxes.Texts().count(kSettingsNotStoredText) > before; }));
  EXPECT_EQ(Control<QLineEdit>("save-path-eidt")->text().toStdString(), folder());
  std::filesystem::remove(ini);
}

TEST_F(MainWndTest, AnotherFolderIsKeptOnlyWhenItCanBeWritten) {
  OpenWindow();
  QTemporaryDir other;
  QFile userFile(other.filePath(QStringLiteral("ZavAudioRecorderTmp")));  // a user's own file of the check's name
  ASSERT_TRUE(userFile.open(QIODevice::WriteOnly));
  userFile.write("user data");
  userFile.close();
  PickFolderNext(other.path());
  Click("change-dir-btn");
  auto* field = Control<QLineEdit>("save-path-eidt");
  ASSERT_TRUE(WaitUntil([&] { return field->text() == other.path(); }));
  WaitForSettings();
  EXPECT_EQ(ReadSetting("output-dir"), other.path().toStdString());
  // The test file is gone, and the user's file is as it was.
  EXPECT_EQ(QDir(other.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("ZavAudioRecorderTmp")});
  ASSERT_TRUE(userFile.open(QIODevice::ReadOnly));
  EXPECT_EQ(userFile.readAll(), QByteArray("user data"));

  TmpfsMount readOnly("64k");
  if (!readOnly.mounted() || !readOnly.MakeReadOnly()) GTEST_SKIP() << "a read-only mount needs root";
  PickFolderNext(QString::fromStdString(readOnly.path()));
  Click("change-dir-btn");
  ASSERT_TRUE(WaitUntil([&] { return boxes.Texts().contains(QStringLiteral("该目录没有写入权限!")); }));
  WaitForSettings();
  EXPECT_EQ(field->text(), other.path());
  EXPECT_EQ(ReadSetting("output-dir"), other.path().toStdString());

  PickFolderNext({});  // cancelled: nothing changes
  Click("change-dir-btn");
  WaitUntil([] { return false; }, 50);
  EXPECT_EQ(field->text(), other.path());

  Click("open-dir-btn");
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0], QUrl::fromLocalFile(other.path()));
}

TEST_F(MainWndTest, CloseToTrayChosenInTheSettingsDialogHoldsForTheNextClose) {
  OpenWindow();
  boxes.useDialog = [](QWidget* dialog) {
    if (auto* tray = dialog->findChild<QRadioButton*>(QStringLiteral("window-close-tray"))) tray->click();
  };
  window->PostMessage(kMenuSeting);
  ASSERT_TRUE(WaitUntil([&] { return boxes.Texts().contains(QStringLiteral("系统设置")); }));
  // What the dialog stored reaches the disk before the window reads it back: closing now only
  // minimises.
  WaitForSettings();
  QCoreApplication::processEvents();  // the value read back was posted before the worker went idle
  EXPECT_EQ(ReadSetting("window-close"), "1");
  window->Close(0);
  ASSERT_TRUE(WaitUntil([&] { return !window.isNull() && window->isMinimized(); }));
  // The rule is read at each close: a hand edit of the file counts too.
  window->showNormal();
  WriteSetting("window-close", "0");
  window->Close(0);
  EXPECT_TRUE(WaitUntil([&] { return window.isNull() || !window->isVisible(); }));
}

TEST_F(MainWndTest, ButtonsOfOtherWindowsOpenTheHelpPageAndTheirDialogs) {
  OpenWindow();
  Click("help");
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0].toString().toStdString(), HelpPageUrl(VendorServiceBaseUrl()));
  const std::pair<const char*, QString> buttons[] = {
      {"feedback", QStringLiteral("意见反馈")}, {"hotkey-btn", QStringLiteral("快捷键")},
      {"cron-job-btn", QStringLiteral("定时任务")}};
  for (const auto& [button, dialog] : buttons) {
    const size_t before = boxes.seen.size();
    Click(button);
    ASSERT_TRUE(WaitUntil([&] { return boxes.seen.size() == before + 1; })) << button;
    EXPECT_EQ(boxes.seen.back().text, dialog) << button;
  }
}

}  // namespace
}  // namespace zav::test
