// The recorder against a real sound server of its own: the tones the server plays and hears
// are in the files, in every format, through device faults too.

#include <cmath>
#include <fstream>
#include <numbers>

#include "RealSoundFixture.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

class RealSoundFormats : public RealSound, public ::testing::WithParamInterface<std::string> {};

TEST_P(RealSoundFormats, EachSourceRecordsItsTone) {
  START_SERVER_OR_SKIP(MicrophoneKind::kFedSink, true);
  const size_t from = kRate / 2, to = kRate * 2;
  for (int source : {2, 1, 0}) {
    settings.source = static_cast<VoiceSource>(source);
    double recorded = 0;
    const DecodedAudio audio = Record(GetParam(), 2500ms, &recorded);
    ASSERT_TRUE(audio.ok) << audio.error;
    EXPECT_NEAR(audio.seconds(), recorded, 0.3) << "source " << source;
    const double speaker = ToneAmplitude(audio.left, kRate, kSpeakerHz, from, to);
    const double microphone = ToneAmplitude(audio.left, kRate, kMicrophoneHz, from, to);
    switch (source) {
      case 2:
        EXPECT_NEAR(PeakFrequency(audio.left, kRate, from), kSpeakerHz, 6);
        EXPECT_LT(microphone, 0.01);
        break;
      case 1:
        EXPECT_NEAR(PeakFrequency(audio.left, kRate, from), kMicrophoneHz, 6);
        EXPECT_LT(speaker, 0.01);
        break;
      default:
        EXPECT_GT(speaker, 0.05);
        EXPECT_GT(microphone, 0.05);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, RealSoundFormats, ::testing::Values("mp3", "m4a", "wav"));

TEST_F(RealSound, PauseDropsWhatIsHeardMeanwhileAndResumesWithCurrentSound) {
  START_SERVER_OR_SKIP();
  settings.source = VoiceSource::Microphone;
  AudioRecorder recorder(&owner);
  ASSERT_EQ(recorder.Init(Settings("wav")), 0);
  recorder.Start();
  std::this_thread::sleep_for(1500ms);
  recorder.Pause();
  server->UnloadModule(micTone);
  const int pausedTone = server->PlayTone(PulseServer::kMicrophoneFeedSink, 880);
  std::this_thread::sleep_for(1500ms);
  server->UnloadModule(pausedTone);
  server->PlayTone(PulseServer::kMicrophoneFeedSink, 660);
  std::this_thread::sleep_for(300ms);
  recorder.Start();
  std::this_thread::sleep_for(1500ms);
  recorder.Stop();
  recorder.Finish();

  const DecodedAudio audio = DecodeFile(recorder.outputPath());
  ASSERT_TRUE(audio.ok) << audio.error;
  const size_t n = audio.left.size();
  EXPECT_NEAR(audio.seconds(), 3.0, 0.3);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, kRate / 4, kRate), 0.1);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, 660, n - kRate, n - kRate / 10), 0.1) << "resumed sound is not current";
  EXPECT_LT(ToneAmplitude(audio.left, kRate, 880, 0, n), 0.02) << "sound heard while paused was recorded";
}

TEST_F(RealSound, WithoutAMicrophoneBothRecordsSystemSound) {
  START_SERVER_OR_SKIP(MicrophoneKind::kNone);
  std::u16string name;
  EXPECT_FALSE(GetMicrophoneName(&name));
  AudioRecorder recorder(&owner);
  ASSERT_EQ(recorder.Init(Settings("mp3")), 0);
  EXPECT_EQ(recorder.voiceSource(), VoiceSource::Speaker);
  recorder.Start();
  std::this_thread::sleep_for(3500ms);
  recorder.Stop();
  recorder.Finish();
  const DecodedAudio audio = DecodeFile(recorder.outputPath());
  ASSERT_TRUE(audio.ok) << audio.error;
  // The output at its default latency may be heard from 2 s on.
  EXPECT_NEAR(PeakFrequency(audio.left, kRate, audio.left.size() - kRate), kSpeakerHz, 6);
}

// The server's sine source cannot lower its latency: it hands its audio over two seconds at a
// time. That is late audio, not a stalled microphone.
TEST_F(RealSound, AMicrophoneThatHoldsItsAudioBackIsRecordedInFull) {
  START_SERVER_OR_SKIP(MicrophoneKind::kSineTone);
  settings.source = VoiceSource::Both;
  double recorded = 0;
  const DecodedAudio audio = Record("wav", 4000ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.3);
  const size_t n = audio.left.size();
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, kRate / 4, kRate * 5 / 2), 0.1);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, n - kRate * 3 / 2, n - kRate / 10), 0.1);
}

TEST_F(RealSound, MicrophoneUnloadedMidwayRecordingGoesOnAndFinishes) {
  START_SERVER_OR_SKIP();
  settings.source = VoiceSource::Both;
  double recorded = 0;
  const DecodedAudio audio =
      Record("m4a", 1500ms, &recorded, [this] { return server->UnloadMicrophone(); }, 2500ms);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.6);
  const size_t n = audio.left.size();
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, kRate / 4, kRate), 0.05);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, n - kRate, n - kRate / 10), 0.05)
      << "system sound stopped with the microphone";
  const auto seconds = owner.Seconds();
  ASSERT_FALSE(seconds.empty());
  EXPECT_GE(seconds.back(), 3) << "elapsed time stopped with the microphone";
}

TEST_F(RealSound, GainControlLiftsAQuietMicrophone) {
  START_SERVER_OR_SKIP();
  settings.source = VoiceSource::Microphone;
  ASSERT_TRUE(server->Pactl({"set-sink-volume", PulseServer::kMicrophoneFeedSink, "10%"}));
  const DecodedAudio plain = Record("m4a", 2500ms);
  settings.gainControl = true;
  const DecodedAudio lifted = Record("m4a", 2500ms);
  ASSERT_TRUE(plain.ok && lifted.ok);
  const double before = ToneAmplitude(plain.left, kRate, kMicrophoneHz, kRate, kRate * 2);
  const double after = ToneAmplitude(lifted.left, kRate, kMicrophoneHz, kRate, kRate * 2);
  EXPECT_GT(before, 0.0);
  EXPECT_GT(after, 3 * before);
}

TEST_F(RealSound, NoiseSuppressionWeakensStationaryNoise) {
  START_SERVER_OR_SKIP();
  server->UnloadModule(micTone);
  // Ten seconds of white noise at a tenth of full scale, played into what the microphone hears.
  const std::string noise = folder.path() + "/noise.wav";
  {
    std::ofstream out(noise, std::ios::binary);
    const uint32_t samples = 10 * kRate, bytes = samples * 2;
    auto le32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out << "RIFF";
    le32(36 + bytes);
    out << "WAVEfmt ";
    le32(16), le16(1), le16(1), le32(kRate), le32(kRate * 2), le16(2), le16(16);
    out << "data";
    le32(bytes);
    uint32_t state = 1;
    for (uint32_t i = 0; i < samples; ++i) {
      state = state * 1664525u + 1013904223u;
      le16(static_cast<uint16_t>(static_cast<int16_t>((static_cast<int32_t>(state >> 16) - 32768) / 10)));
    }
  }
  settings.source = VoiceSource::Microphone;
  ASSERT_TRUE(server->StartPlayback(PulseServer::kMicrophoneFeedSink, noise));
  std::this_thread::sleep_for(300ms);
  const DecodedAudio plain = Record("m4a", 2500ms);
  settings.noiseSuppression = true;
  const DecodedAudio suppressed = Record("m4a", 2500ms);
  ASSERT_TRUE(plain.ok && suppressed.ok);
  const double before = Rms(plain.left, kRate, kRate * 2);
  const double after = Rms(suppressed.left, kRate, kRate * 2);
  EXPECT_GT(before, 0.02);
  EXPECT_LT(after, before / 3);
}

TEST_F(RealSound, CommandLineRecordsBothTonesForTheGivenTime) {
  START_SERVER_OR_SKIP();
  const CommandResult r =
      RunCommand({ZAV_RECORD_PATH, "--source", "both", "--format", "mp3", "--seconds", "4", "--output-dir", folder.path()},
                 {{"PULSE_SERVER", server->address()}}, 30s);
  ASSERT_TRUE(r.finished && r.exitCode == 0) << r.output;
  const std::string path = r.output.substr(0, r.output.find('\n'));
  const DecodedAudio audio = DecodeFile(path);
  ASSERT_TRUE(audio.ok) << path << ": " << audio.error;
  EXPECT_NEAR(audio.seconds(), 4.0, 0.2);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kSpeakerHz, kRate * 5 / 2, kRate * 39 / 10), 0.05);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, kMicrophoneHz, kRate, kRate * 3), 0.05);
}

}  // namespace
}  // namespace zav::test
