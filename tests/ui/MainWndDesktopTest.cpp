// The desktop program on a private X server and a private sound server, used as a person
// would: a real click on the start button, then SIGTERM (a log-out) while it records; and the
// global hotkeys pressed from outside the window. The recordings must be finished, playable,
// hold both sounds and the recorded time, and be listed.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStandardPaths>

#include <chrono>
#include <filesystem>
#include <thread>

#include "AudioFile.h"
#include "ChildProcess.h"
#include "ConfigStore.h"
#include "ProgramUnderTest.h"
#include "XvfbServer.h"
#include "PulseServer.h"

namespace zav::test {
namespace {

constexpr int kSpeakerHz = 1000;
constexpr int kMicrophoneHz = 440;
constexpr int kRate = 44100;
const QString kCaption = QStringLiteral("ZAV电脑录音软件");

// Where the start button's centre lies in the main window, as the program lays it out.
QPoint StartButtonCentre() {
  const CommandResult result = RunCommand({ZAV_SKIN_SHOTS_PATH, "--centre", ZAV_SKIN_SOURCE_DIR, "MainWindow.xml",
                                           "recorder-start"},
                                          {{"QT_QPA_PLATFORM", "offscreen"}}, std::chrono::seconds(20));
  // The output also holds what Qt says on standard error.
  static const QRegularExpression line(QStringLiteral("^(\\d+) (\\d+)$"), QRegularExpression::MultilineOption);
  const auto match = line.match(QString::fromStdString(result.output));
  if (result.exitCode != 0 || !match.hasMatch()) return {};
  return {match.captured(1).toInt(), match.captured(2).toInt()};
}

TEST(MainWndDesktopTest, ARealClickRecordsAndSigtermLeavesAListedPlayableFile) {
  for (const char* tool : {"Xvfb", "xdotool", "pulseaudio"}) {
    if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) GTEST_SKIP() << tool << " is not installed";
  }
  PulseServerOptions options;
  options.microphone = MicrophoneKind::kFedSink;
  options.outputToneHz = kSpeakerHz;
  options.keepOutputFlowing = true;  // the test looks at system sound from the first second
  PulseServer sound(options);  // the program finds it through PULSE_SERVER
  ASSERT_TRUE(sound.running()) << sound.error();
  ASSERT_GE(sound.PlayTone(PulseServer::kMicrophoneFeedSink, kMicrophoneHz), 0) << sound.error();
  XvfbServer xvfb;
  ASSERT_TRUE(xvfb.running()) << xvfb.error();
  const QString display = QString::fromStdString(xvfb.display());
  const QPoint button = StartButtonCentre();
  ASSERT_FALSE(button.isNull());

  ProgramHome home;
  QTemporaryDir recordings;
  ConfigStore(home.SettingsPath().toStdString()).WriteString("global", "output-dir", recordings.path().toStdString());
  auto program = StartProgram(home, QStringLiteral("xcb"), display);
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("recordings listed: 0"))) << home.LogText().toStdString();
  QString windowId;
  ASSERT_TRUE(WaitUntil([&] {
    windowId = RunTool(display, QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", kCaption}).trimmed();
    return !windowId.isEmpty();
  }));

  RunTool(display, QStringLiteral("xdotool"),
          {"mousemove", "--window", windowId, QString::number(button.x()), QString::number(button.y()), "click", "1"});
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("] recording /"), 10000)) << home.LogText().toStdString();
  std::this_thread::sleep_for(std::chrono::seconds(3));

  program->terminate();  // SIGTERM
  ASSERT_TRUE(program->waitForFinished(15000));
  EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program->exitCode(), 0);
  EXPECT_TRUE(home.LogText().contains(QStringLiteral("recording finished"))) << home.LogText().toStdString();

  const QStringList files = QDir(recordings.path()).entryList(QDir::Files);
  ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^新录音-\\d{14}\\.mp3$")).match(files[0]).hasMatch());
  const DecodedAudio audio = DecodeFile(recordings.filePath(files[0]).toStdString());
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_GT(audio.seconds(), 2.5);
  const size_t from = kRate / 2, to = kRate * 2;
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, from, to), 0.05);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, from, to), 0.05);

  // The next start lists it.
  auto again = StartProgram(home, QStringLiteral("xcb"), display);
  EXPECT_TRUE(WaitForLog(home, QStringLiteral("recordings listed: 1"))) << home.LogText().toStdString();
  StopProgram(*again);
  EXPECT_EQ(again->exitCode(), 0);
}

TEST(MainWndDesktopTest, TheHotkeysStartPauseResumeAndStopOneRecording) {
  for (const char* tool : {"Xvfb", "xdotool", "pulseaudio"}) {
    if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) GTEST_SKIP() << tool << " is not installed";
  }
  PulseServerOptions options;
  options.microphone = MicrophoneKind::kFedSink;
  options.outputToneHz = kSpeakerHz;
  options.keepOutputFlowing = true;  // the test looks at system sound from the first second
  PulseServer sound(options);
  ASSERT_TRUE(sound.running()) << sound.error();
  ASSERT_GE(sound.PlayTone(PulseServer::kMicrophoneFeedSink, kMicrophoneHz), 0) << sound.error();
  XvfbServer xvfb;
  ASSERT_TRUE(xvfb.running()) << xvfb.error();
  const QString display = QString::fromStdString(xvfb.display());

  ProgramHome home;
  QTemporaryDir recordings;
  ConfigStore(home.SettingsPath().toStdString()).WriteString("global", "output-dir", recordings.path().toStdString());
  auto program = StartProgram(home, QStringLiteral("xcb"), display);
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("recordings listed: 0"))) << home.LogText().toStdString();
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("hotkeys registered: start/pause yes, stop yes")))
      << home.LogText().toStdString();
  auto press = [&](const char* keys) { RunTool(display, QStringLiteral("xdotool"), {"key", keys}); };
  using Clock = std::chrono::steady_clock;

  press("alt+F8");  // start
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("] recording /"), 10000)) << home.LogText().toStdString();
  const auto recordingFrom = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  press("alt+F8");  // pause
  const auto pausedFrom = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  press("alt+F8");  // resume
  const auto resumedFrom = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  press("alt+F12");  // stop
  const auto stoppedAt = Clock::now();
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("recording finished"), 10000)) << home.LogText().toStdString();
  StopProgram(*program);
  EXPECT_EQ(program->exitCode(), 0);

  const QStringList files = QDir(recordings.path()).entryList(QDir::Files);
  ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
  const DecodedAudio audio = DecodeFile(recordings.filePath(files[0]).toStdString());
  ASSERT_TRUE(audio.ok) << audio.error;
  const double recorded = std::chrono::duration<double>((pausedFrom - recordingFrom) + (stoppedAt - resumedFrom)).count();
  // Each press reaches the program a little after the test's clock reading; a quarter of a
  // second either way allows for that on a loaded machine.
  EXPECT_NEAR(audio.seconds(), recorded, 0.4);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, kRate / 2, kRate * 2), 0.05);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, kRate / 2, kRate * 2), 0.05);
}

}  // namespace
}  // namespace zav::test
