// The recorder against a real sound server of its own: the tones the server plays and hears
// are in the files, through device faults too.

#include <cmath>
#include <numbers>

#include "RealSoundFixture.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

// Each source through the server's own devices, each into another format (every source in
// every format is recorded over generated tones, by RecorderFormatTest). The microphone goes
// through voice processing, so the server's own piece sizes pass the processor too.
struct SourceCase {
  VoiceSource source;
  const char* format;
  const char* name;
};

class RealSoundSources : public RealSound, public ::testing::WithParamInterface<SourceCase> {};

TEST_P(RealSoundSources, RecordsItsTone) {
  START_SERVER_OR_SKIP(MicrophoneKind::kFedSink, true);
  const SourceCase& c = GetParam();
  const size_t from = kRate / 2, to = kRate * 2;
  settings.source = c.source;
  if (c.source == VoiceSource::Microphone) settings.gainControl = true;
  double recorded = 0;
  const DecodedAudio audio = Record(c.format, 2500ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.3);
  const double speaker = ToneAmplitude(audio.left, kRate, kSpeakerHz, from, to);
  const double microphone = ToneAmplitude(audio.left, kRate, kMicrophoneHz, from, to);
  switch (c.source) {
    case VoiceSource::Speaker:
      EXPECT_NEAR(PeakFrequency(audio.left, kRate, from), kSpeakerHz, 6);
      EXPECT_LT(microphone, 0.01);
      break;
    case VoiceSource::Microphone:
      EXPECT_NEAR(PeakFrequency(audio.left, kRate, from), kMicrophoneHz, 6);
      EXPECT_LT(speaker, 0.01);
      break;
    case VoiceSource::Both:
      EXPECT_GT(speaker, 0.05);
      EXPECT_GT(microphone, 0.05);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, RealSoundSources,
                         ::testing::Values(SourceCase{VoiceSource::Speaker, "mp3", "SpeakerMp3"},
                                           SourceCase{VoiceSource::Microphone, "m4a", "MicrophoneM4a"},
                                           SourceCase{VoiceSource::Both, "wav", "BothWav"}),
                         [](const auto& info) { return std::string(info.param.name); });

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
