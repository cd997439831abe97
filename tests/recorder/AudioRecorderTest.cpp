// The recorder end to end over generated tones: what lands in the file, how long it is,
// what is reported while recording, and how it fails.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ToneRecorderFixture.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

class RecorderFormatTest : public RecorderTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RecorderFormatTest, MuteWritesRealTimeSilenceAndReportsEachSecondOnce) {
  settings.mute = true;
  double recorded = 0;
  const DecodedAudio audio = Record(GetParam(), 2300ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_EQ(audio.sampleRate, 44100);
  EXPECT_EQ(audio.channels, 2);
  EXPECT_NEAR(audio.seconds(), recorded, kDurationToleranceSeconds);
  EXPECT_LT(Rms(audio.left), 1e-4);
  if (GetParam() == "wav") {
    for (float v : audio.left) ASSERT_EQ(v, 0.0f);
  }
  EXPECT_EQ(owner.Seconds(), (std::vector<intptr_t>{1, 2}));
}

TEST_P(RecorderFormatTest, MicrophoneToneIsRecorded) {
  settings.source = VoiceSource::Microphone;
  double recorded = 0;
  const DecodedAudio audio = Record(GetParam(), 2000ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, kDurationToleranceSeconds);
  EXPECT_NEAR(PeakFrequency(audio.left, 44100, 22050), 440.0, 6.0);
  EXPECT_NEAR(ToneAmplitude(audio.right, 44100, 440.0, 22050, 66150), 0.5, 0.08);
}

TEST_P(RecorderFormatTest, SystemSoundAt48kHzIsRecorded) {
  settings.source = VoiceSource::Speaker;
  double recorded = 0;
  const DecodedAudio audio = Record(GetParam(), 2000ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.6);  // system sound arrives in half-second chunks
  EXPECT_NEAR(PeakFrequency(audio.left, 44100, 22050), 1000.0, 6.0);
  EXPECT_NEAR(ToneAmplitude(audio.left, 44100, 1000.0, 22050, 66150), 0.5, 0.08);
}

TEST_P(RecorderFormatTest, BothSourcesAreMixed) {
  double recorded = 0;
  const DecodedAudio audio = Record(GetParam(), 2500ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.6);
  const size_t from = 44100 / 2, to = 44100 * 2;
  // The mixer scales each of its two inputs by one half.
  EXPECT_NEAR(ToneAmplitude(audio.left, 44100, 440.0, from, to), 0.25, 0.06);
  EXPECT_NEAR(ToneAmplitude(audio.left, 44100, 1000.0, from, to), 0.25, 0.06);
}

INSTANTIATE_TEST_SUITE_P(Formats, RecorderFormatTest, ::testing::Values("mp3", "m4a", "wav"));

// A recording of a fixed length (zav-record --seconds) is that long even when its stop comes
// late (a busy machine kept the thread that stops it waiting).
TEST_F(RecorderTest, AFixedLengthHoldsWhenTheStopComesLate) {
  settings.lengthMs = 1000;
  double recorded = 0;
  const DecodedAudio audio = Record("wav", 1400ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_GT(recorded, 1.3);
  EXPECT_EQ(audio.left.size(), 44100u);
}

TEST_F(RecorderTest, PauseLeavesNoGapAndDropsWhatPlaysMeanwhile) {
  settings.source = VoiceSource::Microphone;
  AudioRecorder recorder(&owner, &backend);
  ASSERT_EQ(recorder.Init(Settings("m4a")), 0);
  recorder.Start();
  std::this_thread::sleep_for(1500ms);
  recorder.Pause();
  EXPECT_EQ(recorder.state(), RecorderState::Paused);
  backend.mic.frequency = 880.0;
  std::this_thread::sleep_for(300ms);
  const size_t reportsWhenPaused = owner.Seconds().size();
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(owner.Seconds().size(), reportsWhenPaused) << "elapsed time moved while paused";
  backend.mic.frequency = 660.0;
  recorder.Start();
  std::this_thread::sleep_for(1500ms);
  recorder.Stop();
  recorder.Finish();

  const DecodedAudio audio = DecodeFile(recorder.outputPath());
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), 3.0, 0.3);
  const size_t n = audio.left.size();
  EXPECT_GT(ToneAmplitude(audio.left, 44100, 440.0, 4410, 44100), 0.3);
  EXPECT_GT(ToneAmplitude(audio.left, 44100, 660.0, n - 44100, n - 4410), 0.3);
  EXPECT_LT(ToneAmplitude(audio.left, 44100, 880.0, 0, n), 0.02) << "sound played while paused was recorded";
  const auto seconds = owner.Seconds();
  ASSERT_GE(seconds.size(), 2u);
  EXPECT_EQ(seconds.front(), 1);
  EXPECT_GE(seconds.back(), 2);
  EXPECT_LE(seconds.back(), 3);
  for (size_t i = 1; i < seconds.size(); ++i) EXPECT_EQ(seconds[i], seconds[i - 1] + 1);
}

TEST_F(RecorderTest, WithoutMicrophoneBothRecordsSystemSoundOnly) {
  AudioRecorder recorder(&owner, &backend);
  ASSERT_EQ(recorder.Init(Settings("mp3", /*hasMicrophone=*/false)), 0);
  EXPECT_EQ(recorder.voiceSource(), VoiceSource::Speaker);
  recorder.Start();
  std::this_thread::sleep_for(1500ms);
  recorder.Stop();
  recorder.Finish();
  const DecodedAudio audio = DecodeFile(recorder.outputPath());
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_GT(ToneAmplitude(audio.left, 44100, 1000.0, 4410, 44100), 0.3);
  EXPECT_LT(ToneAmplitude(audio.left, 44100, 440.0, 4410, 44100), 0.02);
}

TEST_F(RecorderTest, UnwritableOutputFailsInitAndLeavesNoThread) {
  const std::string notAFolder = folder.path() + "/plain-file";
  std::ofstream(notAFolder) << "x";
  const int threadsBefore = ThreadCount();
  for (const std::string format : {"mp3", "m4a", "wav"}) {
    AudioRecorder recorder(&owner, &backend);
    RecorderSettings s = Settings(format);
    s.folder = notAFolder;
    EXPECT_LT(recorder.Init(s), 0) << format;
    EXPECT_EQ(ThreadCount(), threadsBefore) << format;
  }
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

// A name that is taken is never opened: an earlier recording, a link to a file elsewhere and
// a link to nowhere all stay as they were, and the new recording gets the next free number.
TEST_F(RecorderTest, ATakenNameGetsANumberAndNothingIsWrittenThrough) {
  namespace fs = std::filesystem;
  settings.source = VoiceSource::Microphone;
  Record("mp3", 600ms);
  const std::string first = path;
  const std::string firstBytes = ReadAll(first);
  TempFolder elsewhere;
  const std::string target = elsewhere.path() + "/precious.txt";
  std::ofstream(target) << "precious";
  const std::string nowhere = elsewhere.path() + "/created-through-a-link";
  fs::create_symlink(target, folder.path() + "/新录音-test-2.mp3");
  fs::create_symlink(nowhere, folder.path() + "/新录音-test-3.mp3");

  double recorded = 0;
  const DecodedAudio audio = Record("mp3", 1500ms, &recorded);
  EXPECT_EQ(path, folder.path() + "/新录音-test-4.mp3");
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, kDurationToleranceSeconds);
  EXPECT_NEAR(ToneAmplitude(audio.left, 44100, 440.0, 22050, 55125), 0.5, 0.08);
  EXPECT_EQ(ReadAll(first), firstBytes) << "an earlier recording was overwritten";
  EXPECT_EQ(ReadAll(target), "precious") << "written through a link";
  EXPECT_FALSE(fs::exists(nowhere)) << "created through a link";
  EXPECT_TRUE(fs::is_symlink(folder.path() + "/新录音-test-2.mp3"));
}

TEST_F(RecorderTest, MicrophoneThatCannotOpenFailsInit) {
  backend.micOpenFails = true;
  AudioRecorder recorder(&owner, &backend);
  EXPECT_LT(recorder.Init(Settings("mp3")), 0);
  EXPECT_FALSE(std::filesystem::exists(recorder.outputPath()));
}

TEST_F(RecorderTest, StopRightAfterInitLeavesNoEmptyFile) {
  for (const std::string format : {"mp3", "m4a", "wav"}) {
    AudioRecorder recorder(&owner, &backend);
    ASSERT_EQ(recorder.Init(Settings(format)), 0);
    EXPECT_EQ(recorder.state(), RecorderState::Idle);
    recorder.Stop();
    FinishResult result;
    EXPECT_EQ(recorder.Finish(&result), -1) << format;
    EXPECT_EQ(recorder.state(), RecorderState::Stopped);
    EXPECT_EQ(recorder.Start(), -1) << "a stopped recorder starts again";
    // Nothing was recorded: our own empty file is not left to be listed as a recording.
    EXPECT_TRUE(result.removed) << format;
    EXPECT_FALSE(std::filesystem::exists(recorder.outputPath())) << format;
  }
}

TEST_F(RecorderTest, VanishedMicrophoneIsReplacedBySilenceAndTimeKeepsPace) {
  settings.source = VoiceSource::Microphone;
  AudioRecorder recorder(&owner, &backend);
  ASSERT_EQ(recorder.Init(Settings("wav")), 0);
  const auto start = Clock::now();
  recorder.Start();
  std::this_thread::sleep_for(1000ms);
  backend.mic.failReads = true;
  std::this_thread::sleep_for(1500ms);
  backend.mic.failReads = false;
  std::this_thread::sleep_for(1000ms);
  recorder.Stop();
  recorder.Finish();
  const double recorded = SecondsSince(start);
  const DecodedAudio audio = DecodeFile(recorder.outputPath());
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.3);
  EXPECT_LT(Rms(audio.left, 44100 * 3 / 2, 44100 * 2), 0.01) << "the gap is not silent";
  const size_t n = audio.left.size();
  // It is looked for once a second: back within the last 0.4 s.
  EXPECT_GT(ToneAmplitude(audio.left, 44100, 440.0, n - 13230, n - 2205), 0.3) << "the microphone did not come back";
}

TEST_F(RecorderTest, BothWithNothingPlayingRecordsTheMicrophoneInRealTime) {
  backend.speaker.playing = false;
  double recorded = 0;
  const DecodedAudio audio = Record("m4a", 2500ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.3);
  EXPECT_NEAR(ToneAmplitude(audio.left, 44100, 440.0, 44100 * 3 / 2, 44100 * 2), 0.25, 0.06);
}

TEST_F(RecorderTest, GainControlLiftsAQuietMicrophoneButNotInWav) {
  settings.source = VoiceSource::Microphone;
  settings.gainControl = true;
  backend.mic.amplitude = 0.02;
  const DecodedAudio processed = Record("m4a", 2500ms);
  ASSERT_TRUE(processed.ok) << processed.error;
  const DecodedAudio plain = Record("wav", 1500ms);
  ASSERT_TRUE(plain.ok) << plain.error;
  const double lifted = ToneAmplitude(processed.left, 44100, 440.0, 44100 * 3 / 2, 44100 * 2);
  const double untouched = ToneAmplitude(plain.left, 44100, 440.0, 44100 / 2, 44100);
  EXPECT_NEAR(untouched, 0.02, 0.005);
  EXPECT_GT(lifted, 3 * untouched);
}

TEST_F(RecorderTest, NoiseSuppressionWeakensStationaryNoise) {
  settings.source = VoiceSource::Microphone;
  backend.mic.amplitude = 0.0;
  backend.mic.noise = 0.05;
  const DecodedAudio plain = Record("m4a", 2500ms);
  settings.noiseSuppression = true;
  const DecodedAudio suppressed = Record("m4a", 2500ms);
  ASSERT_TRUE(plain.ok && suppressed.ok);
  const double before = Rms(plain.left, 44100, 44100 * 2);
  const double after = Rms(suppressed.left, 44100, 44100 * 2);
  EXPECT_GT(before, 0.02);
  EXPECT_LT(after, before / 3);
}

}  // namespace
}  // namespace zav::test
