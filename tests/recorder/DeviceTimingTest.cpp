// System sound from a real sound server that behaves as a user's does: a sink that plays
// nothing, a sink at its default latency, a default sink switched again and again, a frozen
// server. In every format the file is as long as the time recorded (within 0.1 s and 0.2 %),
// and the tone lies where it played.

#include <atomic>
#include <string>
#include <thread>
#include <tuple>

#include "RealSoundFixture.h"
#include "pulse/AudioDevices.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

size_t At(double seconds) { return static_cast<size_t>(seconds * kRate); }

constexpr double kHeard = 0.05;   // a tone's amplitude when it is there (mixed: a quarter of 0.5)
constexpr double kQuiet = 0.005;  // when it is not

class DeviceTiming : public RealSound, public ::testing::WithParamInterface<std::tuple<std::string, VoiceSource>> {
 protected:
  const std::string& format() const { return std::get<0>(GetParam()); }
  bool both() const { return std::get<1>(GetParam()) == VoiceSource::Both; }
  void SetUp() override {
    RealSound::SetUp();
    settings.source = std::get<1>(GetParam());
  }

  // A server whose output plays nothing until the test plays into it.
  bool StartSilentServer() {
    PulseServerOptions options = ToneServer();
    options.outputToneHz = 0;
    server = std::make_unique<PulseServer>(options);
    if (!server->running()) return false;
    micTone = server->PlayTone(PulseServer::kMicrophoneFeedSink, kMicrophoneHz);
    return micTone >= 0;
  }

  void ExpectTrueLength(const Recording& r) {
    ASSERT_TRUE(r.audio.ok) << r.audio.error;
    EXPECT_NEAR(r.audio.seconds(), r.recorded, 0.1 + 0.002 * r.recorded);
    for (const auto& m : owner.All()) EXPECT_NE(m.message, kWmRecordFault) << "fault " << m.lParam;
  }

  // The microphone's steady tone is there throughout (Both mode).
  void ExpectMicrophoneThroughout(const Recording& r) {
    if (!both()) return;
    const size_t n = r.audio.left.size();
    for (size_t from = At(0.3); from + At(0.5) < n; from += At(0.5))
      EXPECT_GT(ToneAmplitude(r.audio.left, kRate, kMicrophoneHz, from, from + At(0.5)), kHeard) << "at " << from / kRate;
  }
};

std::string Name(const ::testing::TestParamInfo<std::tuple<std::string, VoiceSource>>& info) {
  return std::get<0>(info.param) + (std::get<1>(info.param) == VoiceSource::Both ? "Both" : "Speaker");
}

TEST_P(DeviceTiming, SinkThatPlaysNothingUntilATone) {
  if (!StartSilentServer()) GTEST_SKIP() << (server ? server->error() : "");
  // Recording starts before the video does.
  double playedAt = 0;
  const Recording r = RecordSteps(format(), {{1500ms, [&] {
                                                playedAt = std::chrono::duration<double>(Clock::now() - recordingStart).count();
                                                return server->PlayTone(PulseServer::kOutputSink, kSpeakerHz) >= 0;
                                              }},
                                             {2500ms, {}}});
  ExpectTrueLength(r);
  if (HasFailure()) return;
  const std::vector<double> onsets = Onsets(r.audio.left, kRate, kSpeakerHz, kHeard);
  ASSERT_FALSE(onsets.empty()) << "the tone is not in the file";
  // Where it played: not before, and as soon as the sink's block at its default latency ends.
  EXPECT_GT(onsets.front(), playedAt - 0.1);
  EXPECT_LT(onsets.front(), playedAt + 0.7);
  EXPECT_LT(ToneAmplitude(r.audio.left, kRate, kSpeakerHz, At(0.1), At(playedAt - 0.1)), kQuiet);
  EXPECT_GT(ToneAmplitude(r.audio.left, kRate, kSpeakerHz, r.audio.left.size() - At(1.0), r.audio.left.size()), kHeard);
  ExpectMicrophoneThroughout(r);
}

TEST_P(DeviceTiming, SinkAtItsDefaultLatencyAlreadyPlaying) {
  START_SERVER_OR_SKIP();
  const Recording r = RecordSteps(format(), {{4000ms, {}}});
  ExpectTrueLength(r);
  if (HasFailure()) return;
  // Its monitor hears nothing until the sink's long block ends (up to 2 s); from then on the
  // tone is there to the end.
  const std::vector<double> onsets = Onsets(r.audio.left, kRate, kSpeakerHz, kHeard);
  ASSERT_FALSE(onsets.empty()) << "the tone is not in the file";
  EXPECT_LT(onsets.front(), 2.3);
  EXPECT_GT(ToneAmplitude(r.audio.left, kRate, kSpeakerHz, At(onsets.front() + 0.1), r.audio.left.size()), kHeard);
  ExpectMicrophoneThroughout(r);
}

// While the device list is followed (the window is there, shown or in the tray), a recording
// started from a hotkey or a job hears a sink at its default latency from its first moment:
// the list's watcher keeps every sink rendering in short blocks. Without it the start would
// miss the sink's long block, up to 2 s.
TEST_F(RealSound, WhileTheDevicesAreFollowedASinkAlreadyPlayingIsHeardFromTheStart) {
  START_SERVER_OR_SKIP();
  settings.source = VoiceSource::Speaker;
  std::atomic<int> lists{0};
  AudioDeviceWatcher watcher([&](const AudioDevices&) { ++lists; });
  // What the sink rendered ahead before the watcher came is never handed to anyone.
  std::this_thread::sleep_for(2500ms);
  ASSERT_GT(lists.load(), 0);
  const Recording r = RecordSteps("wav", {{2000ms, {}}});
  ASSERT_TRUE(r.audio.ok) << r.audio.error;
  const std::vector<double> onsets = Onsets(r.audio.left, kRate, kSpeakerHz, kHeard);
  ASSERT_FALSE(onsets.empty()) << "the tone is not in the file";
  EXPECT_LT(onsets.front(), 0.2);
  EXPECT_GT(ToneAmplitude(r.audio.left, kRate, kSpeakerHz, At(onsets.front() + 0.1), r.audio.left.size()), kHeard);
}

INSTANTIATE_TEST_SUITE_P(Formats, DeviceTiming,
                         ::testing::Combine(::testing::Values("mp3", "m4a", "wav"),
                                            ::testing::Values(VoiceSource::Speaker, VoiceSource::Both)),
                         Name);

class ServerTiming : public DeviceTiming {};

TEST_P(ServerTiming, DefaultSinkSwitchedFiveTimesASecondForTenSeconds) {
  constexpr const char* kOther = "zav_test_other";
  std::vector<Step> steps;
  for (int i = 0; i < 50; ++i) {
    steps.push_back({200ms, [this, i] { return server->SetDefaultSink(i % 2 ? PulseServer::kOutputSink : kOther); }});
  }
  Recording r;
  for (int attempt = 1;; ++attempt) {
    server.reset();
    START_SERVER_OR_SKIP();
    ASSERT_GE(server->LoadModule("module-null-sink", std::string("sink_name=") + kOther + " rate=48000"), 0);
    ASSERT_GE(server->PlayTone(kOther, kSpeakerHz), 0);
    r = RecordSteps(format(), steps);
    if (!StalledIn(r, attempt, kLongerThanTheRecorderRidesThrough)) break;
  }
  ExpectTrueLength(r);
  ExpectMicrophoneThroughout(r);
}

TEST_P(ServerTiming, ServerFrozenForTwoSeconds) {
  START_SERVER_OR_SKIP();
  const Recording r = RecordSteps(format(), {{2500ms, [this] { return server->Freeze(); }},
                                             {2000ms, [this] { return server->Thaw(); }},
                                             {1000ms, {}}});
  ExpectTrueLength(r);
  if (HasFailure()) return;
  // Nothing was heard while the server was frozen; the tone is back once it runs again.
  const size_t n = r.audio.left.size();
  EXPECT_LT(Rms(r.audio.left, At(2.9), At(4.2)), kQuiet) << "the frozen time is not silent";
  EXPECT_GT(ToneAmplitude(r.audio.left, kRate, kSpeakerHz, n - At(0.8), n - At(0.1)), kHeard);
}

// Two sinks at their default latency each play a tone (the server moves both streams to the
// default sink at each switch, as it moves a player's), and the default switches every 0.7 s.
// Once both sinks have handed their monitors a first block (up to 2 s), the tone must be heard
// throughout: the recorder reads every sink's monitor, so the new default is heard at once.
TEST_F(RealSound, SystemSoundKeepsTheToneWhileTheDefaultSinkSwitchesEvery700Ms) {
  START_SERVER_OR_SKIP();
  settings.source = VoiceSource::Speaker;
  constexpr const char* kOther = "zav_test_other";
  ASSERT_GE(server->LoadModule("module-null-sink", std::string("sink_name=") + kOther + " rate=48000"), 0);
  ASSERT_GE(server->PlayTone(kOther, 660), 0);
  std::vector<Step> steps;
  for (int i = 0; i < 10; ++i) {
    steps.push_back({700ms, [this, i] { return server->SetDefaultSink(i % 2 ? PulseServer::kOutputSink : kOther); }});
  }
  const Recording r = RecordSteps("wav", steps);
  ASSERT_TRUE(r.audio.ok) << r.audio.error;
  EXPECT_NEAR(r.audio.seconds(), r.recorded, 0.1 + 0.002 * r.recorded);
  const size_t window = At(0.05);
  int windows = 0;
  int heard = 0;
  std::string silentAt;
  for (size_t from = At(2.5); from + window <= r.audio.left.size(); from += window) {
    ++windows;
    if (Rms(r.audio.left, from, from + window) > kHeard) {
      ++heard;
    } else {
      silentAt += " " + std::to_string(static_cast<double>(from) / kRate);
    }
  }
  ASSERT_GT(windows, 60);
  EXPECT_GE(heard, windows * 9 / 10) << "silent 50 ms windows from (s):" << silentAt;
}

// Each format: a runaway in one of them (the fastest encoder runs furthest ahead) is what the
// length rule must never let through.
INSTANTIATE_TEST_SUITE_P(Formats, ServerTiming,
                         ::testing::Combine(::testing::Values("mp3", "m4a", "wav"), ::testing::Values(VoiceSource::Both)),
                         Name);

// A sink of 7, 8 or 16 channels is recorded in stereo like any other, not as silence.
TEST_F(RealSound, SystemSoundOfASinkOfManyChannels) {
  for (int channels : {7, 8, 16}) {
    PulseServerOptions options = ToneServer(MicrophoneKind::kNone, true);
    options.outputChannels = channels;
    server = std::make_unique<PulseServer>(options);
    if (!server->running()) GTEST_SKIP() << server->error();
    settings.source = VoiceSource::Speaker;
    const Recording r = RecordSteps("wav", {{1500ms, {}}});
    ASSERT_TRUE(r.audio.ok) << channels << ": " << r.audio.error;
    const size_t n = r.audio.left.size();
    EXPECT_GT(ToneAmplitude(r.audio.left, kRate, kSpeakerHz, n / 3, n), kHeard) << channels << " channels";
    for (const auto& m : owner.All()) EXPECT_NE(m.message, kWmRecordFault) << channels << " channels";
    server.reset();
  }
}

}  // namespace
}  // namespace zav::test
