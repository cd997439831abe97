// Recording the microphone and the output the user chose, on a private server with two of
// each: each choice records exactly its tone; a chosen device missing at start gives way to the
// default and says so; one that goes away mid-recording leaves silence and comes back; and
// zav-record lists the devices and takes them by name.

#include <thread>

#include "CaptureInputs.h"
#include "RealSoundFixture.h"
#include "RecordingController.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

size_t At(double seconds) { return static_cast<size_t>(seconds * kRate); }

constexpr const char* kOtherMicrophone = "zav_test_other_mic";
constexpr const char* kOtherMicrophoneFeed = "zav_test_other_mic_feed";
constexpr const char* kOtherOutput = "zav_test_other_out";
constexpr int kOtherMicrophoneHz = 660;
constexpr int kOtherOutputHz = 1500;
constexpr double kHeard = 0.05;
constexpr double kQuiet = 0.005;

class DeviceChoice : public RealSound {
 protected:
  // The test server with a second microphone and a second output, each with a tone of its own;
  // every sink kept flowing (this is about which device is recorded, not about latency).
  bool StartTwoOfEach() {
    if (!StartServer(MicrophoneKind::kFedSink, true)) return false;
    return AddOtherMicrophone() && server->LoadModule("module-null-sink", std::string("sink_name=") + kOtherOutput) >= 0 &&
           server->KeepLowLatency(kOtherOutput) && server->PlayTone(kOtherOutput, kOtherOutputHz) >= 0;
  }
  bool AddOtherMicrophone() {
    otherMicModules_ = {server->LoadModule("module-null-sink", std::string("sink_name=") + kOtherMicrophoneFeed),
                        server->LoadModule("module-remap-source", std::string("master=") + kOtherMicrophoneFeed +
                                                                      ".monitor source_name=" + kOtherMicrophone)};
    return otherMicModules_[0] >= 0 && otherMicModules_[1] >= 0 && server->KeepLowLatency(kOtherMicrophoneFeed) &&
           server->PlayTone(kOtherMicrophoneFeed, kOtherMicrophoneHz) >= 0;
  }
  bool RemoveOtherMicrophone() { return server->UnloadModule(otherMicModules_[1]) && server->UnloadModule(otherMicModules_[0]); }

  std::vector<int> otherMicModules_;
};

TEST_F(DeviceChoice, EachChoiceRecordsExactlyItsToneInEverySourceMode) {
  if (!StartTwoOfEach()) GTEST_SKIP() << (server ? server->error() : "");
  settings.devices = {kOtherMicrophone, kOtherOutput};
  for (VoiceSource source : {VoiceSource::Both, VoiceSource::Microphone, VoiceSource::Speaker}) {
    settings.source = source;
    const Recording r = RecordSteps("wav", {{2000ms, {}}});
    ASSERT_TRUE(r.audio.ok) << r.audio.error;
    const size_t n = r.audio.left.size();
    const auto level = [&](int hz) { return ToneAmplitude(r.audio.left, kRate, hz, At(0.5), n - At(0.1)); };
    const bool mic = source != VoiceSource::Speaker, speaker = source != VoiceSource::Microphone;
    const int mode = static_cast<int>(source);
    EXPECT_EQ(level(kOtherMicrophoneHz) > kHeard, mic) << mode;
    EXPECT_EQ(level(kOtherOutputHz) > kHeard, speaker) << mode;
    EXPECT_LT(level(kMicrophoneHz), kQuiet) << mode << ": the default microphone was recorded";
    EXPECT_LT(level(kSpeakerHz), kQuiet) << mode << ": the default output was recorded";
  }
}

TEST_F(DeviceChoice, AChosenMicrophoneMissingAtStartGivesWayToTheDefaultAndSaysSo) {
  if (!StartTwoOfEach()) GTEST_SKIP() << (server ? server->error() : "");
  struct Listener final : RecordingListener {
    std::mutex mutex;
    std::optional<StartReport> started;
    std::optional<FinishReport> finished;
    void OnStarted(const StartReport& report) override {
      std::lock_guard lock(mutex);
      started = report;
    }
    void OnSeconds(uint64_t, int64_t) override {}
    void OnFault(uint64_t, RecordingFault) override {}
    void OnFinished(const FinishReport& report) override {
      std::lock_guard lock(mutex);
      finished = report;
    }
  } listener;
  RecordingController controller(&listener);
  RecorderSettings choices;
  choices.source = VoiceSource::Microphone;
  choices.format = "wav";
  choices.folder = folder.path();
  choices.devices.microphone = "zav_test_unplugged";
  controller.Start(choices);
  std::this_thread::sleep_for(1500ms);
  controller.Stop();
  controller.WaitUntilIdle();
  std::lock_guard lock(listener.mutex);
  ASSERT_TRUE(listener.started && listener.finished);
  EXPECT_TRUE(IsStarted(listener.started->result));
  EXPECT_TRUE(listener.started->microphoneStoodIn);
  EXPECT_FALSE(listener.started->outputStoodIn);
  const DecodedAudio audio = DecodeFile(listener.finished->path);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, At(0.5), audio.left.size()), kHeard);
}

TEST_F(DeviceChoice, AChosenMicrophoneThatGoesAwayLeavesSilenceAndComesBackIntoTheRecording) {
  if (!StartTwoOfEach()) GTEST_SKIP() << (server ? server->error() : "");
  settings.source = VoiceSource::Microphone;
  settings.devices.microphone = kOtherMicrophone;
  const Recording r = RecordSteps("wav", {{1500ms, [this] { return RemoveOtherMicrophone(); }},
                                          {1500ms, [this] { return AddOtherMicrophone(); }},
                                          {2500ms, {}}});
  ASSERT_TRUE(r.audio.ok) << r.audio.error;
  EXPECT_NEAR(r.audio.seconds(), r.recorded, 0.1 + 0.002 * r.recorded);
  const std::vector<float>& left = r.audio.left;
  const size_t n = left.size();
  EXPECT_GT(ToneAmplitude(left, kRate, kOtherMicrophoneHz, At(0.3), At(1.4)), kHeard);
  EXPECT_LT(Rms(left, At(1.8), At(2.9)), kQuiet) << "the time without the microphone is not silent";
  EXPECT_GT(ToneAmplitude(left, kRate, kOtherMicrophoneHz, n - At(0.8), n - At(0.1)), kHeard) << "it did not come back";
  EXPECT_LT(ToneAmplitude(left, kRate, kMicrophoneHz, 0, n), kQuiet) << "another microphone stood in";
  EXPECT_FALSE(r.finish.microphoneLost) << "a microphone that came back counts as lost";
}

// Gone for good: the recording goes on to its end with silence in the microphone's place, the
// file is kept, and zav-record says so and fails.
TEST_F(DeviceChoice, AMicrophoneGoneForGoodIsSaidAndTheFileKept) {
  if (!StartTwoOfEach()) GTEST_SKIP() << (server ? server->error() : "");
  const EnvironmentChanges environment = {{"PULSE_SERVER", server->address()},
                                          {"XDG_CONFIG_HOME", folder.path() + "/config"}};
  std::thread unplug([this] {
    std::this_thread::sleep_for(1500ms);
    RemoveOtherMicrophone();
  });
  const CommandResult run = RunCommand({ZAV_RECORD_PATH, "--source", "mic", "--mic", kOtherMicrophone, "--format",
                                        "wav", "--seconds", "3", "--output-dir", folder.path()},
                                       environment, 20s);
  unplug.join();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_NE(run.output.find("the microphone went away during the recording and did not come back"), std::string::npos)
      << run.output;
  const std::vector<std::string> files = Recordings(folder.path());
  ASSERT_EQ(files.size(), 1u);
  const DecodedAudio audio = DecodeFile(files[0]);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), 3.0, 0.1);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kOtherMicrophoneHz, At(0.3), At(1.3)), kHeard);
  EXPECT_LT(Rms(audio.left, At(2.0), At(2.9)), kQuiet);
}

TEST_F(DeviceChoice, CommandLineListsTheDevicesAndRecordsTheOnesNamed) {
  if (!StartTwoOfEach()) GTEST_SKIP() << (server ? server->error() : "");
  const EnvironmentChanges environment = {{"PULSE_SERVER", server->address()},
                                          {"XDG_CONFIG_HOME", folder.path() + "/config"}};
  const CommandResult list = RunCommand({ZAV_RECORD_PATH, "--list-devices"}, environment, 10s);
  ASSERT_TRUE(list.finished && list.exitCode == 0) << list.output;
  for (const std::string& line : {std::string("microphone\t") + PulseServer::kMicrophoneSource + "\t",
                                 std::string("microphone\t") + kOtherMicrophone + "\t",
                                 std::string("output\t") + PulseServer::kOutputSink + "\t",
                                 std::string("output\t") + kOtherOutput + "\t"}) {
    EXPECT_NE(list.output.find(line), std::string::npos) << line << " in\n" << list.output;
  }
  EXPECT_EQ(list.output.find(".monitor"), std::string::npos) << "a monitor is listed as a microphone";

  const CommandResult unknown =
      RunCommand({ZAV_RECORD_PATH, "--mic", "zav_test_unplugged", "--seconds", "1", "--output-dir", folder.path()},
                 environment, 10s);
  ASSERT_TRUE(unknown.finished);
  EXPECT_EQ(unknown.exitCode, 2) << unknown.output;
  EXPECT_NE(unknown.output.find(kOtherMicrophone), std::string::npos) << "the devices are not listed: " << unknown.output;
  EXPECT_TRUE(Recordings(folder.path()).empty());

  const CommandResult named = RunCommand({ZAV_RECORD_PATH, "--mic", kOtherMicrophone, "--speaker", kOtherOutput,
                                          "--format", "wav", "--seconds", "1.5", "--output-dir", folder.path()},
                                         environment, 20s);
  ASSERT_TRUE(named.finished && named.exitCode == 0) << named.output;
  const DecodedAudio audio = DecodeFile(named.output.substr(0, named.output.find('\n')));
  ASSERT_TRUE(audio.ok) << audio.error;
  const size_t n = audio.left.size();
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kOtherMicrophoneHz, At(0.4), n), kHeard);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kOtherOutputHz, At(0.4), n), kHeard);
  EXPECT_LT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, At(0.4), n), kQuiet);
  EXPECT_LT(ToneAmplitude(audio.left, kRate, kSpeakerHz, At(0.4), n), kQuiet);
}

}  // namespace
}  // namespace zav::test
