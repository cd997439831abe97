// The main window recording over a private sound server: the buttons and the state of the
// controls, the file with the unpaused time and both tones, the level meters, the device
// volumes, the prompts of missing devices, a close while recording, and a disk that fills up.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>

#include <chrono>
#include <filesystem>

#include "AudioFile.h"
#include "ChildProcess.h"
#include "MainWndHarness.h"
#include "PulseServer.h"
#include "UiTestSupport.h"
#include "dui/GifAnim.h"
#include "dui/Skin.h"
#include "levels/LevelMeterUI.h"
#include "levels/LevelPanel.h"
#include "recordings/RecordingRows.h"
#include "recordings/RecordingsList.h"

namespace zav::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSpeakerHz = 1000;
constexpr int kMicrophoneHz = 440;
constexpr int kRate = 44100;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class MainWndRecordingTest : public MainWndTestBase {
 protected:
  bool StartServer(MicrophoneKind microphone = MicrophoneKind::kFedSink) {
    PulseServerOptions options;
    options.microphone = microphone;
    options.outputToneHz = kSpeakerHz;
    options.keepOutputFlowing = true;  // the tests look at system sound from the first second
    server = std::make_unique<PulseServer>(options);
    if (!server->running()) return false;
    return microphone != MicrophoneKind::kFedSink ||
           server->PlayTone(PulseServer::kMicrophoneFeedSink, kMicrophoneHz) >= 0;
  }
  void TearDown() override {
    MainWndTestBase::TearDown();
    server.reset();
    qApp->setStyleSheet({});  // a test may have loaded the skin's style
  }

  // The controls of the state table.
  std::string Look() {
    auto playing = [this](const char* name) {
      auto* gif = Control<CGifAnimUI>(name);
      return gif && gif->IsPlaying();
    };
    std::string look;
    for (const char* name : {"recorder-start", "recorder-pause", "recorder-stop", "recorder-disabled", "recorder-ready",
                             "recorder-status-init", "recorder-working", "recorder-status-working"}) {
      look += Shown(name) ? "1" : "0";
    }
    look += playing("recorder-working") && playing("recorder-status-working") ? " playing " : " still ";
    return look + Text("recorder-info").toStdString();
  }
  bool WaitForInfo(const char* info, int timeoutMs = 10000) {
    return WaitUntil([&] { return Text("recorder-info") == QString::fromUtf8(info); }, timeoutMs);
  }
  bool WaitForBox(const char* text, int timeoutMs = 10000) {
    return WaitUntil([&] { return boxes.Texts().contains(QString::fromUtf8(text)); }, timeoutMs);
  }
  QSize BoxSize(const char* text) const {
    for (const SeenBox& box : boxes.seen) {
      if (box.text == QString::fromUtf8(text)) return box.size;
    }
    return {};
  }
  std::vector<std::string> FilesIn(const std::string& path) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename().string());
    return names;
  }

  std::unique_ptr<PulseServer> server;
};

#define START_SERVER_OR_SKIP(...)                                                            \
  if (!StartServer(__VA_ARGS__)) {                                                           \
    if (FindProgram("pulseaudio").empty()) GTEST_SKIP() << "pulseaudio is not installed";    \
    FAIL() << "the test sound server did not start: " << (server ? server->error() : "");    \
  }

const std::string kIdleLook = "10011100 still 准备录音";
const std::string kRecordingLook = "01100011 playing 正在录音";
const std::string kPausedLook = "10100011 still 暂停录音";

TEST_F(MainWndRecordingTest, StartPauseResumeAndStopGiveTheUnpausedTimeWithBothSounds) {
  START_SERVER_OR_SKIP();
  OpenWindow();
  EXPECT_EQ(Look(), kIdleLook);
  EXPECT_EQ(Text("recorder-progress"), QStringLiteral("00:00:00"));

  Click("recorder-start");
  ASSERT_TRUE(WaitForInfo("正在录音"));
  const auto started = Clock::now();
  EXPECT_EQ(Look(), kRecordingLook);
  ASSERT_TRUE(WaitUntil([&] { return Text("recorder-progress") == QStringLiteral("00:00:02"); }));

  Click("recorder-pause");
  const auto paused = Clock::now();
  EXPECT_EQ(Look(), kPausedLook);
  const QString pausedAt = Text("recorder-progress");
  WaitUntil([] { return false; }, 1500);
  EXPECT_EQ(Text("recorder-progress"), pausedAt);  // no time passes while paused

  Click("recorder-start");
  const auto resumed = Clock::now();
  EXPECT_EQ(Look(), kRecordingLook);
  ASSERT_TRUE(WaitUntil([&] { return Text("recorder-progress") == QStringLiteral("00:00:04"); }));

  Click("recorder-stop");
  const auto stopped = Clock::now();
  EXPECT_EQ(Look(), kIdleLook);  // at once, before the file is finished
  EXPECT_EQ(Text("recorder-progress"), QStringLiteral("00:00:00"));

  // The file is listed as the new last row, selected.
  RecordingsList& list = window->recordings();
  ASSERT_TRUE(WaitUntil([&] { return list.RowCount() == 1; }));
  auto* listWidget = Control<QListWidget>("audio-record-list");
  ASSERT_TRUE(WaitUntil([&] { return listWidget->currentRow() == 0; }));
  const std::vector<std::string> files = FilesIn(folder());
  ASSERT_EQ(files.size(), 1u);
  const QString name = QString::fromStdString(files[0]);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^新录音-\\d{14}\\.mp3$")).match(name).hasMatch()) << files[0];
  QWidget* row = list.rows().RowWidget(0);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->findChild<QLabel*>(QStringLiteral("fileNameLabel"))->text(), name);

  const DecodedAudio audio = DecodeFile(folder() + "/" + files[0]);
  ASSERT_TRUE(audio.ok) << audio.error;
  const double unpaused = Seconds(paused - started) + Seconds(stopped - resumed);
  EXPECT_NEAR(audio.seconds(), unpaused, 0.6);
  EXPECT_EQ(row->findChild<QLabel*>(QStringLiteral("durationLabel"))->text(),
            QStringLiteral("00:00:0%1").arg(static_cast<int>(audio.containerSeconds)));
  // Both sounds before the pause and after it.
  for (const double at : {0.5, audio.seconds() - 1.5}) {
    const auto from = static_cast<size_t>(at * kRate);
    const size_t to = from + kRate;
    EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, from, to), 0.05) << at;
    EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, from, to), 0.05) << at;
  }
}

// Pixels of the meter's level colour along the middle of the meter in a picture of the window.
int LevelPixels(const QImage& shot, const CLevelMeterUI* meter, const QWidget* window) {
  const QPoint left = meter->mapTo(window, QPoint(0, meter->height() / 2));
  const QColor level = meter->levelColor();
  int count = 0;
  for (int x = left.x(); x < left.x() + meter->width(); ++x) {
    const QColor c = shot.pixelColor(x, left.y());
    if (std::abs(c.red() - level.red()) + std::abs(c.green() - level.green()) + std::abs(c.blue() - level.blue()) < 24) {
      ++count;
    }
  }
  return count;
}

// The meters before and while recording both sounds, in the skin's style; the picture is kept
// as tests/ui/main-window-recording.png in the build folder.
TEST_F(MainWndRecordingTest, BothMetersShowTheirTonesAndTheIdleMonitorGivesWayToTheRecording) {
  START_SERVER_OR_SKIP();
  ASSERT_TRUE(LoadSkinResources(SourceSkinFolder()));
  OpenWindow();
  auto* microphone = Control<CLevelMeterUI>("mic-level-meter");
  auto* systemSound = Control<CLevelMeterUI>("sys-level-meter");
  ASSERT_TRUE(microphone && systemSound);
  const int quarter = (microphone->width() - 9) / 4;
  LevelPanel& levels = window->levels();
  // Idle: the monitor lets the user check the microphone before starting.
  EXPECT_TRUE(WaitUntil([&] { return levels.MonitorRunning() == VoiceSource::Both && microphone->look().barSteps > quarter; }));

  Click("recorder-start");
  ASSERT_TRUE(WaitForInfo("正在录音"));
  EXPECT_TRUE(WaitUntil([&] { return !levels.MonitorRunning().has_value(); }));
  EXPECT_EQ(levels.latest().expected().kind, LevelOrigin::Kind::kRecording);
  ASSERT_TRUE(WaitUntil([&] { return microphone->look().barSteps > quarter && systemSound->look().barSteps > quarter; }))
      << microphone->look().barSteps << " " << systemSound->look().barSteps;
  ASSERT_TRUE(WaitUntil([&] { return Text("recorder-progress") != QStringLiteral("00:00:00"); }));
  const QImage shot = window->grab().toImage();
  shot.save(QStringLiteral(ZAV_TEST_OUTPUT_DIR "/main-window-recording.png"));
  EXPECT_GT(LevelPixels(shot, microphone, window), quarter);
  EXPECT_GT(LevelPixels(shot, systemSound, window), quarter);

  // The microphone muted at the server: its bar falls to the floor, system sound stays.
  ASSERT_TRUE(server->Pactl({"set-source-mute", PulseServer::kMicrophoneSource, "1"}));
  EXPECT_TRUE(WaitUntil([&] { return microphone->look().barSteps == 0; }));
  EXPECT_TRUE(microphone->look().active);
  EXPECT_GT(systemSound->look().barSteps, quarter);

  Click("recorder-pause");
  EXPECT_TRUE(WaitUntil([&] { return !systemSound->look().active; }));  // nothing measures
  Click("recorder-stop");
  EXPECT_TRUE(WaitUntil([&] { return levels.MonitorRunning() == VoiceSource::Both && systemSound->look().barSteps > quarter; }));
}

TEST_F(MainWndRecordingTest, ShowingTheVolumesChangesNothingAndMovingASliderSetsTheDevice) {
  START_SERVER_OR_SKIP();
  ASSERT_TRUE(server->Pactl({"set-source-volume", PulseServer::kMicrophoneSource, "37%"}));
  ASSERT_TRUE(server->Pactl({"set-source-mute", PulseServer::kMicrophoneSource, "1"}));
  ASSERT_TRUE(server->Pactl({"set-sink-volume", PulseServer::kOutputSink, "100%"}));
  OpenWindow();
  EXPECT_EQ(Control<QSlider>("mic-volume-slider")->value(), 37);
  EXPECT_EQ(Text("mic-volume-label"), QStringLiteral("37"));
  EXPECT_EQ(Control<QSlider>("sys-volume-slider")->value(), 100);  // full volume is not shown as silence
  EXPECT_EQ(Text("sys-volume-label"), QStringLiteral("100"));
  WaitForSettings();
  EXPECT_EQ(SettingsText().find("volume-size"), std::string::npos) << SettingsText();
  std::string output;
  ASSERT_TRUE(server->Pactl({"get-source-mute", PulseServer::kMicrophoneSource}, &output));
  EXPECT_NE(output.find("yes"), std::string::npos) << "showing the volume unmuted the microphone";

  auto* mic = Control<QSlider>("mic-volume-slider");
  mic->setFocus();
  QTest::keyClick(mic, Qt::Key_Right);
  EXPECT_EQ(Text("mic-volume-label"), QStringLiteral("38"));
  EXPECT_TRUE(WaitUntil([&] {
    std::string volume, mute;
    server->Pactl({"get-source-volume", PulseServer::kMicrophoneSource}, &volume);
    server->Pactl({"get-source-mute", PulseServer::kMicrophoneSource}, &mute);
    return volume.find(" 38% ") != std::string::npos && mute.find("no") != std::string::npos;
  }));
  auto* sys = Control<QSlider>("sys-volume-slider");
  sys->setFocus();
  QTest::keyClick(sys, Qt::Key_Left);
  EXPECT_TRUE(WaitUntil([&] {
    std::string volume;
    server->Pactl({"get-sink-volume", PulseServer::kOutputSink}, &volume);
    return volume.find(" 99% ") != std::string::npos;
  }));
  WaitForSettings();
  EXPECT_EQ(ReadSetting("mic-volume-size"), "38");
  EXPECT_EQ(ReadSetting("sys-volume-size"), "99");
}

TEST_F(MainWndRecordingTest, MissingDevicesAndAnUnwritableFolderArePromptedFor) {
  START_SERVER_OR_SKIP(MicrophoneKind::kNone);
  OpenWindow();

  // Both sources and no microphone: the user is told, and system sound is recorded.
  Click("recorder-start");
  ASSERT_TRUE(WaitForBox("没有插入麦克风设备,仅录系统声音"));
  EXPECT_EQ(BoxSize("没有插入麦克风设备,仅录系统声音"), QSize(250, 100));
  EXPECT_EQ(Look(), kRecordingLook);
  Click("recorder-stop");
  ASSERT_TRUE(WaitUntil([&] { return window->recordings().RowCount() == 1; }));

  // The source is read afresh at each start.
  WriteSetting("voice-source", "1");
  Click("recorder-start");
  ASSERT_TRUE(WaitForBox("请先插入麦克风设备!"));
  EXPECT_EQ(BoxSize("请先插入麦克风设备!"), QSize(200, 100));
  EXPECT_EQ(Look(), kIdleLook);

  ASSERT_TRUE(server->UnloadModule(server->outputModule()));
  WriteSetting("voice-source", "2");
  Click("recorder-start");
  ASSERT_TRUE(WaitForBox("未启用音频输出设备!"));
  EXPECT_EQ(Look(), kIdleLook);

  WriteSetting("output-dir", "/proc/zav-no-such-folder");
  WriteSetting("audio-mute-check", "1");  // no device needed: only the folder is in the way
  Click("recorder-start");
  ASSERT_TRUE(WaitForBox("该目录没有写入权限!"));
  EXPECT_EQ(Look(), kIdleLook);
  EXPECT_EQ(window->recordings().RowCount(), 1);
}

TEST_F(MainWndRecordingTest, ClosingTheWindowWhileRecordingFinishesTheFileFirst) {
  START_SERVER_OR_SKIP();
  WriteSetting("audio-format", "1");  // m4a: finished by a rewrite when it stops
  OpenWindow();
  // The start/pause key three times from idle: recording, paused, recording.
  window->ToggleRecording();
  ASSERT_TRUE(WaitForInfo("正在录音"));
  window->ToggleRecording();
  EXPECT_EQ(Look(), kPausedLook);
  window->ToggleRecording();
  EXPECT_EQ(Look(), kRecordingLook);
  ASSERT_TRUE(WaitUntil([&] { return Text("recorder-progress") == QStringLiteral("00:00:02"); }));

  window->Close(static_cast<int>(kCloseForQuit));
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  const std::vector<std::string> files = FilesIn(folder());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(std::filesystem::path(files[0]).extension(), ".m4a");
  const DecodedAudio audio = DecodeFile(folder() + "/" + files[0]);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_GT(audio.seconds(), 1.8);
  EXPECT_NEAR(audio.containerSeconds, audio.seconds(), 0.1);  // a finished, ordinary m4a
}

TEST_F(MainWndRecordingTest, AFullDiskStopsTheRecordingKeepsWhatWasWrittenAndSaysSo) {
  TmpfsMount disk("400k");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a small tmpfs needs root";
  START_SERVER_OR_SKIP();
  WriteSetting("output-dir", disk.path());
  WriteSetting("audio-format", "2");  // wav: 176 kB a second, the disk is full within seconds
  OpenWindow();
  Click("recorder-start");
  ASSERT_TRUE(WaitForInfo("正在录音"));
  ASSERT_TRUE(WaitForBox("磁盘可能已满,录音已停止并保存!", 15000));
  EXPECT_EQ(Look(), kIdleLook);
  ASSERT_TRUE(WaitUntil([&] { return window->recordings().RowCount() == 1; }));
  const std::vector<std::string> files = FilesIn(disk.path());
  ASSERT_EQ(files.size(), 1u);
  const DecodedAudio audio = DecodeFile(disk.path() + "/" + files[0]);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_GT(audio.seconds(), 1.0);
  QWidget* row = window->recordings().rows().RowWidget(0);
  ASSERT_NE(row, nullptr);
  EXPECT_NE(row->findChild<QLabel*>(QStringLiteral("durationLabel"))->text(), QStringLiteral("--:--:--"));
}

// The microphone unplugged for good while the window is on screen: the recording goes on with
// system sound, and when it stops the window says the rest is silent.
TEST_F(MainWndRecordingTest, AMicrophoneGoneForGoodIsPromptedForWhenTheRecordingStops) {
  START_SERVER_OR_SKIP();
  OpenWindow();
  Click("recorder-start");
  ASSERT_TRUE(WaitForInfo("正在录音"));
  WaitUntil([] { return false; }, 700);
  ASSERT_TRUE(server->UnloadMicrophone());
  WaitUntil([] { return false; }, 700);
  Click("recorder-stop");
  ASSERT_TRUE(WaitForBox("录音中麦克风已断开,此后的录音为静音!"));
  EXPECT_EQ(BoxSize("录音中麦克风已断开,此后的录音为静音!"), QSize(250, 100));
  EXPECT_TRUE(WaitUntil([&] { return window->recordings().RowCount() == 1; })) << "the file was not kept";
}

}  // namespace
}  // namespace zav::test
