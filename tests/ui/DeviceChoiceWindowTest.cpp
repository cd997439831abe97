// The main window's device choice over a private sound server: the combos follow devices that
// come and go, a choice is stored and survives a restart (also while its device is away), a
// chosen microphone missing at start gives way to the default with a prompt, and a settings
// file without the new keys records the defaults.
#include <gtest/gtest.h>

#include <QComboBox>

#include <filesystem>

#include "AudioFile.h"
#include "ChildProcess.h"
#include "MainWndHarness.h"
#include "PulseServer.h"
#include "UiTestSupport.h"
#include "recordings/RecordingsList.h"

namespace zav::test {
namespace {

constexpr int kRate = 44100;
constexpr int kSpeakerHz = 1000;
constexpr int kMicrophoneHz = 440;
constexpr int kOtherMicrophoneHz = 660;
constexpr const char* kOtherMicrophone = "zav_test_other_mic";
constexpr const char* kOtherFeed = "zav_test_other_feed";

class DeviceChoiceWindow : public MainWndTestBase {
 protected:
  bool StartServer() {
    PulseServerOptions options;
    options.microphone = MicrophoneKind::kFedSink;
    options.outputToneHz = kSpeakerHz;
    options.keepOutputFlowing = true;  // about which device, not about latency
    server = std::make_unique<PulseServer>(options);
    return server->running() && server->PlayTone(PulseServer::kMicrophoneFeedSink, kMicrophoneHz) >= 0;
  }
  // A second microphone hearing its own tone; false when it could not be added.
  bool AddOtherMicrophone() {
    return server->LoadModule("module-null-sink", "sink_name=" + std::string(kOtherFeed)) >= 0 &&
           server->LoadModule("module-remap-source", std::string("master=") + kOtherFeed + ".monitor source_name=" +
                                                         kOtherMicrophone +
                                                         " source_properties=device.description=OtherMicrophone") >= 0 &&
           server->KeepLowLatency(kOtherFeed) && server->PlayTone(kOtherFeed, kOtherMicrophoneHz) >= 0;
  }
  void TearDown() override {
    MainWndTestBase::TearDown();
    server.reset();
  }
  QStringList Items(const char* combo) {
    QStringList items;
    auto* box = Control<QComboBox>(combo);
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
  }
  // Records from the window for about `ms` and returns the new file.
  DecodedAudio RecordFromTheWindow(int ms) {
    Click("recorder-start");
    EXPECT_TRUE(WaitUntil([&] { return Text("recorder-info") == QStringLiteral("正在录音"); }, 10000));
    // The devices stay as they are while a recording runs.
    EXPECT_FALSE(Control<QComboBox>("record-mic-device")->isEnabled());
    EXPECT_FALSE(Control<QComboBox>("record-speaker-device")->isEnabled());
    WaitUntil([] { return false; }, ms);
    Click("recorder-stop");
    RecordingsList& list = window->recordings();
    EXPECT_TRUE(WaitUntil([&] { return list.RowCount() == 1; }, 10000));
    for (const auto& entry : std::filesystem::directory_iterator(folder())) return DecodeFile(entry.path().string());
    return {};
  }

  std::unique_ptr<PulseServer> server;
};

TEST_F(DeviceChoiceWindow, TheCombosFollowTheServerAndAChoiceIsStoredAndRecorded) {
  if (!StartServer()) {
    if (FindProgram("pulseaudio").empty()) GTEST_SKIP() << "pulseaudio is not installed";
    FAIL() << "the test sound server did not start: " << server->error();
  }
  // A settings file without the device keys: the defaults, as before.
  OpenWindow();
  EXPECT_EQ(Control<QComboBox>("record-mic-device")->currentText(), QStringLiteral("默认设备"));
  EXPECT_EQ(Control<QComboBox>("record-speaker-device")->currentText(), QStringLiteral("默认设备"));
  ASSERT_TRUE(WaitUntil([&] { return Items("record-speaker-device").contains(QStringLiteral("ZavTestOutput")); }, 5000));
  // A second output of the same description can be told apart.
  const int twin = server->LoadModule("module-null-sink", "sink_name=zav_test_twin sink_properties=device.description=ZavTestOutput");
  ASSERT_GE(twin, 0) << server->error();
  ASSERT_TRUE(WaitUntil([&] {
    return Items("record-speaker-device").contains(QStringLiteral("ZavTestOutput (1)")) &&
           Items("record-speaker-device").contains(QStringLiteral("ZavTestOutput (2)"));
  }, 2000)) << Items("record-speaker-device").join('|').toStdString();
  ASSERT_TRUE(server->UnloadModule(twin));

  // Only the sources that 录音来源 records can be chosen.
  auto* origin = Control<QComboBox>("record-audio-origin");
  origin->setCurrentIndex(2);  // system sound only
  EXPECT_FALSE(Control<QComboBox>("record-mic-device")->isEnabled());
  EXPECT_TRUE(Control<QComboBox>("record-speaker-device")->isEnabled());
  origin->setCurrentIndex(0);
  EXPECT_TRUE(Control<QComboBox>("record-mic-device")->isEnabled());

  // A microphone plugged in while the window is open shows within a second.
  ASSERT_TRUE(AddOtherMicrophone()) << server->error();
  ASSERT_TRUE(WaitUntil([&] { return Items("record-mic-device").contains(QStringLiteral("OtherMicrophone")); }, 1000));

  auto* mic = Control<QComboBox>("record-mic-device");
  mic->setCurrentIndex(static_cast<int>(Items("record-mic-device").indexOf(QStringLiteral("OtherMicrophone"))));
  WaitForSettings();
  EXPECT_EQ(ReadSetting("mic-device"), kOtherMicrophone);
  const DecodedAudio audio = RecordFromTheWindow(1500);
  ASSERT_TRUE(audio.ok) << audio.error;
  const size_t n = audio.left.size();
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kOtherMicrophoneHz, kRate / 2, n), 0.05);
  EXPECT_LT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, kRate / 2, n), 0.005) << "the default microphone was recorded";

  // The choice survives a restart, also while its device is away: it stays chosen, marked.
  CloseWindow();
  server.reset();
  ASSERT_TRUE(StartServer());
  OpenWindow();
  EXPECT_EQ(Control<QComboBox>("record-mic-device")->currentText(),
            QString::fromUtf8(kOtherMicrophone) + QStringLiteral(" (未连接)"));
}

TEST_F(DeviceChoiceWindow, AChosenMicrophoneMissingAtStartGivesWayToTheDefaultWithAPrompt) {
  if (!StartServer()) {
    if (FindProgram("pulseaudio").empty()) GTEST_SKIP() << "pulseaudio is not installed";
    FAIL() << "the test sound server did not start: " << server->error();
  }
  WriteSetting("voice-source", "1");
  WriteSetting("audio-format", "2");
  WriteSetting("mic-device", "zav_test_unplugged");
  OpenWindow();
  const DecodedAudio audio = RecordFromTheWindow(1500);
  EXPECT_TRUE(boxes.Texts().contains(QStringLiteral("所选麦克风不可用,已使用默认设备"))) << boxes.Texts().join(", ").toStdString();
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, kRate / 2, audio.left.size()), 0.05);
  // The choice itself is kept for when the device is back.
  EXPECT_EQ(ReadSetting("mic-device"), "zav_test_unplugged");
}

TEST_F(DeviceChoiceWindow, PlayingApplicationsAreListedAndOneChosenIsRecordedAloneAndRemembered) {
  if (!StartServer()) {
    if (FindProgram("pulseaudio").empty()) GTEST_SKIP() << "pulseaudio is not installed";
    FAIL() << "the test sound server did not start: " << server->error();
  }
  constexpr int kChosenHz = 700, kNeighbourHz = 1500;
  const QString chosen = QStringLiteral("应用程序: ZavToneChosen"), neighbour = QStringLiteral("应用程序: ZavToneNeighbour");
  WriteSetting("voice-source", "2");
  WriteSetting("audio-format", "2");
  OpenWindow();
  ASSERT_TRUE(server->PlayToneAs("ZavToneChosen", PulseServer::kOutputSink, kChosenHz, 6) &&
              server->PlayToneAs("ZavToneNeighbour", PulseServer::kOutputSink, kNeighbourHz, 3))
      << server->error();
  ASSERT_TRUE(WaitUntil([&] { return Items("record-speaker-device").contains(chosen) && Items("record-speaker-device").contains(neighbour); }, 3000))
      << Items("record-speaker-device").join('|').toStdString();
  // The applications come after the outputs.
  EXPECT_GT(Items("record-speaker-device").indexOf(chosen), Items("record-speaker-device").indexOf(QStringLiteral("ZavTestOutput")));

  auto* speaker = Control<QComboBox>("record-speaker-device");
  speaker->setCurrentIndex(static_cast<int>(Items("record-speaker-device").indexOf(chosen)));
  WaitForSettings();
  EXPECT_EQ(ReadSetting("speaker-app"), "ZavToneChosen");
  const DecodedAudio audio = RecordFromTheWindow(1500);
  ASSERT_TRUE(audio.ok) << audio.error;
  const size_t n = audio.left.size();
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kChosenHz, kRate / 2, n), 0.1);
  for (int hz : {kNeighbourHz, kSpeakerHz}) EXPECT_LT(ToneAmplitude(audio.left, kRate, hz, kRate / 2, n), 0.001) << hz;

  // An application that stops playing leaves the list; the chosen one stays, marked.
  ASSERT_TRUE(WaitUntil([&] { return !Items("record-speaker-device").contains(neighbour); }, 5000));
  ASSERT_TRUE(server->WaitForPlaybacks(std::chrono::seconds(6)));
  ASSERT_TRUE(WaitUntil([&] { return speaker->currentText() == chosen + QStringLiteral(" (未连接)"); }, 2000))
      << speaker->currentText().toStdString();
  CloseWindow();
  OpenWindow();
  EXPECT_EQ(Control<QComboBox>("record-speaker-device")->currentText(), chosen + QStringLiteral(" (未连接)"));
}

}  // namespace
}  // namespace zav::test
