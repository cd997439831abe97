// The recorder while its sound server misbehaves: killed and restarted, frozen, losing the
// microphone, changing the default sink to another format. Stop stays prompt, the file keeps
// the wall clock, and what is recorded is what the devices heard.

#include <signal.h>

#include <filesystem>
#include <utility>

#include "RealSoundFixture.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

constexpr double kStopLimitSeconds = 1.0;
constexpr double kLengthToleranceSeconds = 0.35;

size_t At(double seconds) { return static_cast<size_t>(seconds * kRate); }

class ServerFaults : public RealSound, public ::testing::WithParamInterface<int> {
 protected:
  // The source recorded: VoiceSource Both or Microphone.
  bool both() const { return GetParam() == static_cast<int>(VoiceSource::Both); }
  void SetUp() override {
    RealSound::SetUp();
    settings.source = static_cast<VoiceSource>(GetParam());
  }
};

TEST_P(ServerFaults, RestartedServerCostsNoTimeAndItsDevicesComeBack) {
  START_SERVER_OR_SKIP();
  // The server comes back with a mono 48 kHz output: system sound changes format too.
  const Recording r = RecordSteps("mp3", {{2000ms, [this] { return server->Kill(); }},
                                          {1000ms, [this] { return RestartServer(48000, 1); }},
                                          {3000ms, {}}});
  ASSERT_TRUE(r.audio.ok) << r.audio.error;
  EXPECT_LT(r.stopSeconds, kStopLimitSeconds);
  EXPECT_NEAR(r.audio.seconds(), r.recorded, kLengthToleranceSeconds) << "time was lost while the server was away";
  const std::vector<float>& left = r.audio.left;
  const size_t n = left.size();
  EXPECT_GT(ToneAmplitude(left, kRate, kMicrophoneHz, At(0.25), At(1.75)), 0.05);
  EXPECT_LT(Rms(left, At(2.3), At(2.9)), 0.01) << "the time without a server is not silent";
  EXPECT_GT(ToneAmplitude(left, kRate, kMicrophoneHz, n - At(1.0), n - At(0.1)), 0.05) << "the microphone did not come back";
  if (both()) {
    EXPECT_GT(ToneAmplitude(left, kRate, kSpeakerHz, n - At(1.0), n - At(0.1)), 0.05)
        << "system sound did not come back at its pitch";
  }
}

TEST_P(ServerFaults, StopIsPromptWhileTheServerIsAway) {
  START_SERVER_OR_SKIP();
  const Recording r = RecordSteps("m4a", {{1500ms, [this] { return server->Kill(); }}, {1500ms, {}}});
  ASSERT_TRUE(r.audio.ok) << r.audio.error;
  EXPECT_LT(r.stopSeconds, kStopLimitSeconds);
  EXPECT_NEAR(r.audio.seconds(), r.recorded, kLengthToleranceSeconds);
}

TEST_P(ServerFaults, FrozenServerNeitherHoldsStopNorLengthensTheFile) {
  START_SERVER_OR_SKIP();
  // Frozen for 2.5 s, then it delivers what it held back all at once.
  const Recording resumed = RecordSteps("wav", {{1500ms, [this] { return server->Freeze(); }},
                                                {2500ms, [this] { return server->Thaw(); }},
                                                {2000ms, {}}});
  ASSERT_TRUE(resumed.audio.ok) << resumed.audio.error;
  EXPECT_NEAR(resumed.audio.seconds(), resumed.recorded, kLengthToleranceSeconds)
      << "audio held back by the frozen server lengthened the file";
  const size_t n = resumed.audio.left.size();
  EXPECT_GT(ToneAmplitude(resumed.audio.left, kRate, kMicrophoneHz, n - At(1.0), n - At(0.1)), 0.05);

  // Stopped while the server is frozen.
  const Recording stopped = RecordSteps("mp3", {{1000ms, [this] { return server->Freeze(); }}, {1500ms, {}}});
  EXPECT_TRUE(server->Thaw());
  ASSERT_TRUE(stopped.audio.ok) << stopped.audio.error;
  EXPECT_LT(stopped.stopSeconds, kStopLimitSeconds);
  EXPECT_NEAR(stopped.audio.seconds(), stopped.recorded, kLengthToleranceSeconds);
}

INSTANTIATE_TEST_SUITE_P(Sources, ServerFaults,
                         ::testing::Values(static_cast<int>(VoiceSource::Both), static_cast<int>(VoiceSource::Microphone)),
                         [](const auto& info) { return info.param == 0 ? std::string("Both") : std::string("Microphone"); });

TEST_F(RealSound, UnloadedMicrophoneIsNeverReplacedByAnotherSource) {
  START_SERVER_OR_SKIP();
  settings.source = VoiceSource::Microphone;
  double recorded = 0;
  // With the microphone gone the server's default source is the output's monitor, where the
  // speaker tone plays.
  const DecodedAudio audio = Record("wav", 1500ms, &recorded, [this] { return server->UnloadMicrophone(); }, 2500ms);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, kLengthToleranceSeconds);
  const size_t n = audio.left.size();
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, At(0.25), At(1.25)), 0.05);
  EXPECT_LT(ToneAmplitude(audio.left, kRate, kSpeakerHz, n - At(2.0), n), 0.01) << "system sound was recorded";
  EXPECT_LT(Rms(audio.left, n - At(2.0), n), 0.01) << "the time without a microphone is not silent";
}

// zav-record as a user runs it: Ctrl+C while the server was restarted, and while it is frozen.
TEST_F(RealSound, CommandLineEndsOnCtrlCWithinASecondWhateverTheServerDid) {
  START_SERVER_OR_SKIP();
  const std::vector<std::pair<std::string, std::function<bool()>>> troubles = {
      {"restarted",
       [this] {
         if (!server->Kill()) return false;
         std::this_thread::sleep_for(1000ms);
         return RestartServer();
       }},
      {"frozen", [this] { return server->Freeze(); }},
  };
  for (const auto& [name, trouble] : troubles) {
    const std::string out = folder.path() + "/" + name;
    const std::string log = out + ".log";
    const auto spawned = Clock::now();
    const pid_t pid = SpawnDaemon({ZAV_RECORD_PATH, "--source", "both", "--format", "mp3", "--output-dir", out},
                                  BuildEnvironment({{"PULSE_SERVER", server->address()}}), log);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(2500ms);
    ASSERT_TRUE(trouble()) << name << ": " << server->error();
    std::this_thread::sleep_for(1500ms);
    const auto interrupted = Clock::now();
    kill(pid, SIGINT);
    while (!HasExited(pid) && Clock::now() - interrupted < 10s) std::this_thread::sleep_for(10ms);
    const double took = std::chrono::duration<double>(Clock::now() - interrupted).count();
    const double ran = std::chrono::duration<double>(interrupted - spawned).count();
    if (!HasExited(pid)) StopChild(pid, 1000ms);
    server->Thaw();
    EXPECT_LT(took, 1.0) << name << ": Ctrl+C took " << took << " s";
    std::string path;
    for (const auto& entry : std::filesystem::directory_iterator(out)) path = entry.path().string();
    const DecodedAudio audio = DecodeFile(path);
    ASSERT_TRUE(audio.ok) << name << ": " << path << ": " << audio.error;
    // zav-record starts recording a little after it was started.
    EXPECT_GT(audio.seconds(), ran - 0.6) << name;
    EXPECT_LT(audio.seconds(), ran + 0.1) << name;
  }
}

// The whole machine stalls for 2 s (a busy host, memory pressure): the recorder and the
// server stop together and come back together, and the server hands over what it captured
// meanwhile. Nothing of it is lost: both tones run through the file without a gap, though the
// stall is longer than the recorder waits for a source that sends nothing.
TEST_F(RealSound, AMachineStallLosesNoAudio) {
  START_SERVER_OR_SKIP(MicrophoneKind::kFedSink, true);
  const std::string log = folder.path() + "/.log";
  const pid_t pid = SpawnDaemon(
      {ZAV_RECORD_PATH, "--source", "both", "--format", "wav", "--seconds", "6", "--output-dir", folder.path()},
      BuildEnvironment({{"PULSE_SERVER", server->address()}}), log);
  ASSERT_GT(pid, 0);
  std::this_thread::sleep_for(2500ms);
  kill(pid, SIGSTOP);
  ASSERT_TRUE(server->Freeze());
  std::this_thread::sleep_for(2000ms);
  ASSERT_TRUE(server->Thaw());
  kill(pid, SIGCONT);
  ASSERT_EQ(WaitExit(pid, 10s), 0) << ReadAll(log);
  const std::vector<std::string> files = Recordings(folder.path());
  ASSERT_EQ(files.size(), 1u);
  const DecodedAudio audio = DecodeFile(files[0]);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), 6.0, 0.1);
  const std::vector<float>& left = audio.left;
  std::string gaps;
  for (size_t from = At(0.3); from + At(0.2) < left.size(); from += At(0.1)) {
    if (ToneAmplitude(left, kRate, kMicrophoneHz, from, from + At(0.1)) < 0.05 ||
        ToneAmplitude(left, kRate, kSpeakerHz, from, from + At(0.1)) < 0.05)
      gaps += " " + std::to_string(static_cast<double>(from) / kRate);
  }
  EXPECT_TRUE(gaps.empty()) << "a tone is missing in the 0.1 s from (s):" << gaps;
}

// In wav, so that the pitch in the file is the pitch captured.
TEST_F(RealSound, SystemSoundFollowsADefaultSinkOfAnotherFormat) {
  START_SERVER_OR_SKIP(MicrophoneKind::kFedSink, true);
  settings.source = VoiceSource::Speaker;
  double recorded = 0;
  const auto switchSink = [this] {
    return server->LoadModule("module-null-sink", "sink_name=zav_test_mono rate=48000 channels=1") >= 0 &&
           server->KeepLowLatency("zav_test_mono") && server->PlayTone("zav_test_mono", 700) >= 0 &&
           server->SetDefaultSink("zav_test_mono");
  };
  const DecodedAudio audio = Record("wav", 1500ms, &recorded, switchSink, 3000ms);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.6);  // system sound arrives in half-second chunks
  const size_t n = audio.left.size();
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, At(0.25), At(1.0)), 0.1);
  EXPECT_NEAR(PeakFrequency(audio.left, kRate, n - At(1.0), 16384), 700, 6) << "the new sink is heard at a wrong speed";
  EXPECT_GT(ToneAmplitude(audio.left, kRate, 700, n - At(1.0), n - At(0.1)), 0.1) << "the new default sink is not heard";
  EXPECT_GT(ToneAmplitude(audio.right, kRate, 700, n - At(1.0), n - At(0.1)), 0.1) << "the mono sink is not on both channels";
}

}  // namespace
}  // namespace zav::test
