// Recording the sound of one application, on a private server where players that name
// themselves play tones: the chosen application's streams are heard wherever and whenever they
// play, and nothing of the others (other players on the same sink and on another sink, the
// server's own tone).

#include "RealSoundFixture.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kChosen = "ZavToneChosen";
constexpr const char* kOtherOutput = "zav_test_other_out";
constexpr int kChosenHz = 700;
constexpr int kNeighbourHz = 1500;  // another application on the same sink
constexpr int kFarHz = 2500;        // another application on another sink
constexpr double kHeard = 0.1;
constexpr double kAbsent = 0.001;  // -60 dBFS

size_t At(double seconds) { return static_cast<size_t>(seconds * kRate); }

class ApplicationSound : public RealSound {
 protected:
  // The default server (its own tone in the output) and a second sink, at their default
  // latency: nothing keeps them flowing.
  bool StartWithTwoSinks() {
    if (!StartServer()) return false;
    return server->LoadModule("module-null-sink", "sink_name=" + std::string(kOtherOutput)) >= 0;
  }

  bool Play(const std::string& application, const std::string& sink, int hz, double seconds) {
    return server->PlayToneAs(application, sink, hz, seconds);
  }
  bool PlayOthers(double seconds) {
    return Play("ZavToneNeighbour", PulseServer::kOutputSink, kNeighbourHz, seconds) &&
           Play("ZavToneFar", kOtherOutput, kFarHz, seconds);
  }

  static double Level(const DecodedAudio& audio, int hz, double from, double to) {
    return ToneAmplitude(audio.left, kRate, hz, At(from), std::min(At(to), audio.left.size()));
  }
  static void ExpectNothingElse(const DecodedAudio& audio, const std::string& format) {
    const double end = audio.seconds() - 0.1;
    for (int hz : {kNeighbourHz, kFarHz, kSpeakerHz}) EXPECT_LT(Level(audio, hz, 0.2, end), kAbsent) << format << ": " << hz << " Hz";
  }

};

TEST_F(ApplicationSound, OnlyTheChosenApplicationIsHeardAcrossItsStreamsInEveryFormat) {
  if (!StartWithTwoSinks()) GTEST_SKIP() << (server ? server->error() : "");
  settings.source = VoiceSource::Speaker;
  settings.devices.applications = {kChosen};
  for (const std::string format : {"wav", "mp3", "m4a"}) {
    // The application starts 2 s in, closes its stream after 1.5 s and opens another at 4.5 s
    // (each a little later, as its player takes to start; an AAC frame smears a tone's end by
    // some 50 ms).
    const Recording r = RecordSteps(format, {{0ms, [&] { return PlayOthers(8); }},
                                             {2000ms, [&] { return Play(kChosen, PulseServer::kOutputSink, kChosenHz, 1.5); }},
                                             {2500ms, [&] { return Play(kChosen, PulseServer::kOutputSink, kChosenHz, 3); }},
                                             {1500ms, {}}});
    ASSERT_TRUE(r.audio.ok) << r.audio.error;
    EXPECT_NEAR(r.audio.seconds(), r.recorded, 0.1) << format;
    EXPECT_FALSE(r.finish.systemSoundLost) << format;
    EXPECT_LT(Level(r.audio, kChosenHz, 0.2, 1.9), kAbsent) << format << ": heard before it played";
    EXPECT_GT(Level(r.audio, kChosenHz, 2.4, 3.3), kHeard) << format << ": its first stream";
    EXPECT_LT(Level(r.audio, kChosenHz, 4.0, 4.35), kAbsent) << format << ": heard between its streams";
    EXPECT_GT(Level(r.audio, kChosenHz, 4.9, 5.8), kHeard) << format << ": its second stream";
    ExpectNothingElse(r.audio, format);
    // A null sink back at its default latency takes up to 2 s more to drain a player.
    ASSERT_TRUE(server->WaitForPlaybacks(10s));
  }
}

TEST_F(ApplicationSound, WithTheMicrophoneItIsMixedAndOneThatNeverPlaysIsSaidToBeLost) {
  if (!StartWithTwoSinks()) GTEST_SKIP() << (server ? server->error() : "");
  settings.source = VoiceSource::Both;
  settings.devices.applications = {kChosen};
  const Recording both = RecordSteps("m4a", {{0ms, [&] { return PlayOthers(4) && Play(kChosen, kOtherOutput, kChosenHz, 4); }},
                                             {3000ms, {}}});
  ASSERT_TRUE(both.audio.ok) << both.audio.error;
  EXPECT_NEAR(both.audio.seconds(), both.recorded, 0.1);
  EXPECT_GT(Level(both.audio, kChosenHz, 0.5, 2.9), kHeard / 2);
  EXPECT_GT(Level(both.audio, kMicrophoneHz, 0.5, 2.9), kHeard / 2);
  ExpectNothingElse(both.audio, "m4a");
  EXPECT_FALSE(both.finish.systemSoundLost);

  settings.devices.applications = {"ZavNobodyPlaysThis"};
  settings.source = VoiceSource::Speaker;
  const Recording none = RecordSteps("wav", {{1500ms, {}}});
  ASSERT_TRUE(none.audio.ok) << none.audio.error;
  EXPECT_NEAR(none.audio.seconds(), none.recorded, 0.1);
  EXPECT_LT(Rms(none.audio.left), kAbsent);
  EXPECT_TRUE(none.finish.systemSoundLost);
}

}  // namespace
}  // namespace zav::test
