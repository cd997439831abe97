// Echo cancellation against a real sound server: what the output plays comes back into the
// microphone's feed through module-loopback, 6 dB down and a given latency later, as from
// speakers into a microphone. A generated call is played (EchoScene): the far end alone, the
// near end alone, both at once. The microphone is recorded alone, without and with
// cancellation, and the two are compared. The thresholds are a little below what
// bench/echo.sh measures (bench/README.md).

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "EchoScene.h"
#include "RealSoundFixture.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

constexpr double kEchoPathDb = -6;
// PulseAudio's software volume is cubic: this is -6 dB.
const int kLoopbackVolume = static_cast<int>(65536 * std::pow(10.0, kEchoPathDb / 60));
const std::string kOutputMonitor = std::string(PulseServer::kOutputSink) + ".monitor";

constexpr double kMinEchoReductionDb = 20;       // measured at 50, 100 and 150 ms: 26-38 dB
constexpr double kMaxNearLossDb = 1;             // measured: 0.0-0.1 dB
constexpr double kMaxDoubleTalkNearLossDb = 7;   // measured: 4.1-5.5 dB

// What a recording of the call holds, in dB.
struct CallLevels {
  double echo = 0;        // level of the far end's section (only its echo plays then)
  double near = 0;        // the gain by which the near end appears while it talks alone
  double doubleTalk = 0;  // the level while both talk, against the near end's own level
};

CallLevels Measure(const DecodedAudio& audio, const EchoScene& scene) {
  CallLevels levels;
  const long offset = FindOffset(audio.left, scene.near, 3 * kRate);
  if (offset <= 0) return levels;  // the near end is not there: every figure fails
  const auto span = [&](double from, double to) { return SceneSpan{offset, from, to, scene.rate}; };
  levels.echo = LevelDb(audio.left, span(kConvergedSeconds, scene.nearFrom()));
  levels.near = GainDb(audio.left, scene.near, span(scene.nearFrom() + kGuardSeconds, scene.bothFrom()));
  const SceneSpan both = span(scene.bothFrom() + kGuardSeconds, scene.seconds());
  levels.doubleTalk = LevelDb(audio.left, both) - LevelDb(scene.near, SceneSpan{0, both.from, both.to, scene.rate});
  return levels;
}

class EchoPath : public RealSound, public ::testing::WithParamInterface<int> {
 protected:
  // A server with nothing playing and the echo path at `latencyMs`.
  bool StartEchoServer(int latencyMs) {
    PulseServerOptions options = ToneServer(MicrophoneKind::kFedSink);
    options.outputToneHz = 0;
    server = std::make_unique<PulseServer>(options);
    if (!server->running()) return false;
    if (server->LoadModule("module-loopback", "source=" + kOutputMonitor + " sink=" + PulseServer::kMicrophoneFeedSink +
                                                  " latency_msec=" + std::to_string(latencyMs)) < 0)
      return false;
    // The loopback's stream into the feed: "index, sink, client, driver, format" per line.
    std::string inputs;
    if (!server->Pactl({"list", "short", "sink-inputs"}, &inputs)) return false;
    std::istringstream lines(inputs);
    for (std::string line; std::getline(lines, line);) {
      if (line.find("\tmodule-loopback.c\t") == std::string::npos) continue;
      return server->Pactl({"set-sink-input-volume", line.substr(0, line.find('\t')), std::to_string(kLoopbackVolume)});
    }
    return false;
  }

  // Records the microphone while the call plays; *outputReaders gets how many streams read
  // the output's monitor meanwhile (the loopback is one). A stall of the machine moves the
  // echo path (the loopback's buffer fills) and the canceller has to find it again: the call
  // is recorded again then.
  DecodedAudio RecordCall(const EchoScene& scene, int* outputReaders) {
    const std::string far = folder.path() + "/far.wav";
    const std::string near = folder.path() + "/near.wav";
    EXPECT_TRUE(WriteWav(far, scene.far, scene.rate) && WriteWav(near, scene.near, scene.rate));
    const auto play = [&] {
      return server->StartPlayback(PulseServer::kOutputSink, far) &&
             server->StartPlayback(PulseServer::kMicrophoneFeedSink, near);
    };
    const auto count = [&] {
      *outputReaders = server->RecordStreamsOf(kOutputMonitor);
      return *outputReaders >= 0;
    };
    const auto sceneLength = std::chrono::milliseconds(static_cast<int>(scene.seconds() * 1000));
    for (int attempt = 1;; ++attempt) {
      const Recording r = RecordSteps("mp3", {{500ms, play}, {1000ms, count}, {sceneLength - 200ms, {}}});
      EXPECT_TRUE(server->WaitForPlaybacks(5s));
      if (!StalledIn(r, attempt, 100ms)) return r.audio;
    }
  }
};

TEST_P(EchoPath, CancelsTheFarEndsEchoAndKeepsTheNearEnd) {
  if (FindProgram("pulseaudio").empty()) GTEST_SKIP() << "pulseaudio is not installed";
  ASSERT_TRUE(StartEchoServer(GetParam())) << server->error();
  const EchoScene scene = MakeCallScene();
  settings.source = VoiceSource::Microphone;

  // Off: the microphone as it always was, with the echo in it; the output is not read.
  int readersOff = -1;
  const DecodedAudio off = RecordCall(scene, &readersOff);
  ASSERT_TRUE(off.ok) << off.error;
  const CallLevels without = Measure(off, scene);
  const double farLevel = LevelDb(scene.far, SceneSpan{0, kConvergedSeconds, scene.nearFrom(), scene.rate});
  // The loopback's level varies by a dB or so while it settles its latency.
  EXPECT_NEAR(without.echo, farLevel + kEchoPathDb, 3) << "no echo to cancel";
  EXPECT_NEAR(without.near, 0, kMaxNearLossDb);
  EXPECT_EQ(readersOff, 1) << "system sound was captured without echo cancellation";

  settings.echoCancellation = true;
  int readersOn = -1;
  CallLevels with;
  // The loopback settles its latency anew for each call and the canceller has to follow it;
  // now and then (2 calls of about 15 on 2026-12-11) the echo was only 11-13 dB down where it
  // is usually 26-38: such a call is recorded once more, and the second must make it.
  for (int call = 1; call <= 2; ++call) {
    const DecodedAudio on = RecordCall(scene, &readersOn);
    ASSERT_TRUE(on.ok) << on.error;
    with = Measure(on, scene);
    if (without.echo - with.echo >= kMinEchoReductionDb) break;
    std::fprintf(stderr, "call %d: the echo only %.1f dB down%s\n", call, without.echo - with.echo,
                 call < 2 ? "; recording the call again" : "");
  }
  EXPECT_EQ(readersOn, 2) << "the system sound is the canceller's reference";
  EXPECT_GE(without.echo - with.echo, kMinEchoReductionDb) << "echo " << with.echo << " dBFS";
  EXPECT_GE(with.near - without.near, -kMaxNearLossDb) << "the near end alone";
  EXPECT_GE(with.doubleTalk - without.near, -kMaxDoubleTalkNearLossDb) << "the near end in double talk";
  for (const auto& m : owner.All()) EXPECT_NE(m.message, kWmRecordFault) << "fault " << m.lParam;
}

// The longest echo path of the benchmark: its echo settles 160 to 200 ms behind the system
// sound, at or beyond the end of the canceller's filter, so that the recorder has to find it
// and move the reference (bench/README.md).
INSTANTIATE_TEST_SUITE_P(Latencies, EchoPath, ::testing::Values(150),
                         [](const auto& info) { return std::to_string(info.param) + "ms"; });

// The output stops delivering mid-recording (a suspended sink, as an idle or lost device):
// the microphone goes on without its reference, at its own level and length.
TEST_F(RealSound, EchoCancelledMicrophoneGoesOnWhenTheSystemSoundStops) {
  if (FindProgram("pulseaudio").empty()) GTEST_SKIP() << "pulseaudio is not installed";
  settings.source = VoiceSource::Microphone;
  settings.echoCancellation = true;
  Recording r;
  for (int attempt = 1;; ++attempt) {
    server.reset();
    server = std::make_unique<PulseServer>(ToneServer(MicrophoneKind::kFedSink, true));
    ASSERT_TRUE(server->running()) << server->error();
    ASSERT_GE(server->PlayTone(PulseServer::kMicrophoneFeedSink, kMicrophoneHz), 0) << server->error();
    r = RecordSteps("mp3", {{2000ms, [&] { return server->Pactl({"suspend-sink", PulseServer::kOutputSink, "1"}); }},
                            {3000ms, {}}});
    if (!StalledIn(r, attempt, kLongerThanTheRecorderRidesThrough)) break;
  }
  ASSERT_TRUE(r.audio.ok) << r.audio.error;
  EXPECT_NEAR(r.audio.seconds(), r.recorded, 0.1 + 0.002 * r.recorded);
  const std::vector<float>& left = r.audio.left;
  const double level = ToneAmplitude(left, kRate, kMicrophoneHz, kRate / 2, 2 * kRate);
  EXPECT_GT(level, 0.05);
  // Every half second after the reference stopped, within 3 dB of the tone's level before.
  for (size_t from = 2 * kRate; from + kRate / 2 <= left.size() - kRate / 10; from += kRate / 2)
    EXPECT_GT(ToneAmplitude(left, kRate, kMicrophoneHz, from, from + kRate / 2), level * 0.7)
        << "at " << static_cast<double>(from) / kRate << " s";
  EXPECT_LT(ToneAmplitude(left, kRate, kSpeakerHz, 0, left.size()), 0.01) << "system sound was mixed in";
  for (const auto& m : owner.All()) EXPECT_NE(m.message, kWmRecordFault) << "fault " << m.lParam;
}

}  // namespace
}  // namespace zav::test
