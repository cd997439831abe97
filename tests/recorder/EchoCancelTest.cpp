// Echo cancellation over generated inputs: the system sound handed from the speaker thread to
// the microphone thread by its place on the recording clock, the microphone's blocks meeting
// the sound of their moment, and a microphone that never waits long for a reference that does
// not come. System sound is captured for it only when it is on.

#include <algorithm>
#include <atomic>
#include <numeric>
#include <vector>

#include <cmath>

#include "EchoAligner.h"
#include "EchoScene.h"
#include "EchoStage.h"
#include "ReferenceBuffer.h"
#include "ToneRecorderFixture.h"
#include "VoiceProcessor.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

std::vector<int16_t> Ramp(int from, int count) {
  std::vector<int16_t> v(static_cast<size_t>(count));
  std::iota(v.begin(), v.end(), static_cast<int16_t>(from));
  return v;
}

std::vector<int16_t> Read(const ReferenceBuffer& buffer, int64_t position, int count) {
  std::vector<int16_t> v(static_cast<size_t>(count));
  buffer.Read(position, v.data(), count);
  return v;
}

TEST(ReferenceBuffer, PlacesPiecesWhereTheyWereHeardAndReadsSilenceElsewhere) {
  ReferenceBuffer buffer(1000);
  constexpr int64_t kTolerance = 50;
  buffer.Place(100, Ramp(0, 100).data(), 100, kTolerance);
  // Arriving 20 samples late is jitter: the piece follows on.
  buffer.Place(220, Ramp(100, 100).data(), 100, kTolerance);
  EXPECT_EQ(buffer.end(), 200);
  EXPECT_EQ(Read(buffer, 195, 5), Ramp(195, 5));
  // Much later: a gap of silence, then the piece where it was heard.
  buffer.Place(500, Ramp(400, 100).data(), 100, kTolerance);
  EXPECT_EQ(Read(buffer, 198, 4), (std::vector<int16_t>{198, 199, 0, 0}));
  EXPECT_EQ(Read(buffer, 398, 4), (std::vector<int16_t>{0, 0, 400, 401}));
  // Much earlier than the end: the part for positions already written is dropped.
  buffer.Place(520, Ramp(1000, 100).data(), 100, kTolerance);
  EXPECT_EQ(buffer.end(), 520);
  EXPECT_EQ(Read(buffer, 498, 4), (std::vector<int16_t>{498, 499, 1080, 1081}));
  // Beyond the end, and older than the capacity, is silence.
  EXPECT_EQ(Read(buffer, 519, 3), (std::vector<int16_t>{1099, 0, 0}));
  buffer.Place(1400, Ramp(2000, 100).data(), 100, kTolerance);
  EXPECT_EQ(Read(buffer, 399, 3), (std::vector<int16_t>{0, 400, 401}));
  EXPECT_EQ(Read(buffer, 300, 2), (std::vector<int16_t>{0, 0})) << "older than the capacity";
}

TEST(EchoStage, BlocksMeetTheSoundOfTheirMomentAndNeverWaitLong) {
  ReferenceBuffer reference(64000);
  constexpr int64_t kPatience = 8820;  // 200 ms at the output rate
  EchoStage stage(reference, kPatience);
  std::vector<int64_t> farStarts;  // the first reference sample each processed block got
  const EchoStage::BlockProcessor process = [&](int16_t*, const int16_t* farEnd) {
    farStarts.push_back(farEnd[0]);
    return true;
  };
  std::vector<int16_t> out;
  const std::vector<int16_t> tenBlocks(10 * kBlockSamples, 7);

  // The microphone's audio starts 100 ms into the recording (reference position 3200); the
  // reference, each sample holding its own position, has arrived for half of it.
  stage.Anchor(4410);
  stage.Append(tenBlocks.data(), static_cast<int>(tenBlocks.size()));
  reference.Place(4800, Ramp(3200, 1600).data(), 1600, 0);
  ASSERT_TRUE(stage.Release(4410 * 2, 0, false, process, &out));
  EXPECT_EQ(farStarts, (std::vector<int64_t>{3200, 3520, 3840, 4160, 4480}));
  EXPECT_EQ(out.size(), 5u * kBlockSamples);
  EXPECT_EQ(stage.pendingSamples(), 5 * kBlockSamples) << "the rest waits for its reference";
  EXPECT_EQ(stage.end(), 4410 * 2) << "waiting, the audio keeps its place on the clock";

  // The reference does not come: once the clock is the patience past a block, it goes with
  // silence (the first waiting block ends at 4410 + 6 x 441).
  farStarts.clear();
  ASSERT_TRUE(stage.Release(4410 + 6 * 441 + kPatience - 1, 0, false, process, &out));
  EXPECT_TRUE(farStarts.empty());
  ASSERT_TRUE(stage.Release(4410 + 6 * 441 + kPatience, 0, false, process, &out));
  EXPECT_EQ(farStarts.size(), 5u);
  EXPECT_TRUE(std::all_of(farStarts.begin(), farStarts.end(), [](int64_t v) { return v == 0; }));
  // From then on the microphone does not wait while the reference stays quiet...
  farStarts.clear();
  stage.Append(tenBlocks.data(), kBlockSamples);
  ASSERT_TRUE(stage.Release(stage.end(), 0, false, process, &out));
  EXPECT_EQ(farStarts.size(), 1u);
  // ...and waits again once it delivers.
  reference.Place(ReferencePosition(static_cast<double>(stage.end())), Ramp(-2000, 2000).data(), 2000, 0);
  stage.Append(tenBlocks.data(), 2 * kBlockSamples);
  farStarts.clear();
  ASSERT_TRUE(stage.Release(stage.end(), 0, false, process, &out));
  EXPECT_TRUE(farStarts.empty());
  EXPECT_EQ(stage.pendingSamples(), 2 * kBlockSamples);
  // Stop (all) takes whatever waits.
  ASSERT_TRUE(stage.Release(stage.end(), 0, true, process, &out));
  EXPECT_EQ(stage.pendingSamples(), 0);
  EXPECT_EQ(out.size(), 13u * kBlockSamples);

  // A block is 441 x (1 + correction) samples of the file: the drift correction moves the
  // block's place, and so which reference it meets.
  stage.Anchor(100000);
  stage.Append(tenBlocks.data(), 4 * kBlockSamples + 100);
  ASSERT_TRUE(stage.Release(200000, 0.02, true, process, &out));
  EXPECT_EQ(stage.end(), 100000 + std::llround(4 * 441 * 1.02 + 100 * 441.0 / 320));
}

// Speakers whose echo comes back a quarter of a second late (Bluetooth, a network sink),
// beyond where the canceller starts looking: the stage finds the echo and cancels it within
// 2 s. A steady tone fits every lag: it does not move the reference.
TEST(EchoStage, FindsAnEchoFarBehindTheSystemSoundAndCancelsIt) {
  constexpr int kDelay = kProcessingRate / 4;
  const auto echoOf = [&](const std::vector<float>& far) {
    std::vector<int16_t> system(far.size()), microphone(far.size(), 0);
    for (size_t i = 0; i < far.size(); ++i) {
      system[i] = static_cast<int16_t>(std::lrint(far[i] * 32767));
      if (i >= kDelay) microphone[i] = static_cast<int16_t>(system[i - kDelay] / 2);
    }
    return std::pair{system, microphone};
  };
  const auto [system, microphone] = echoOf(MakeEchoScene(5, 0, 0, kProcessingRate).far);

  ReferenceBuffer reference(kProcessingRate * 2);
  EchoStage stage(reference, kOutputBlockSamples * 20);
  VoiceProcessor processor;
  ASSERT_EQ(processor.Create(false, false, 0, true), 0);
  const EchoStage::BlockProcessor process = [&](int16_t* block, const int16_t* farEnd) {
    return processor.ProcessBlock(block, farEnd);
  };
  std::vector<int16_t> out;
  stage.Anchor(0);
  for (int64_t block = 0; (block + 1) * kBlockSamples <= static_cast<int64_t>(system.size()); ++block) {
    const int64_t at = block * kBlockSamples;
    reference.Place(at + kBlockSamples, system.data() + at, kBlockSamples, kBlockSamples);
    stage.Append(microphone.data() + at, kBlockSamples);
    ASSERT_TRUE(stage.Release((block + 1) * kOutputBlockSamples, 0, false, process, &out));
  }
  const auto power = [](const std::vector<int16_t>& v, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to && i < v.size(); ++i) sum += static_cast<double>(v[i]) * v[i];
    return sum;
  };
  const size_t from = kProcessingRate * 5 / 2, to = kProcessingRate * 5;
  EXPECT_GT(10 * std::log10(power(microphone, from, to) / std::max(power(out, from, to), 1.0)), 20)
      << "the echo, 2.5 s to 5 s";

  std::vector<float> tone(kProcessingRate * 4);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.1f * static_cast<float>(std::sin(2 * M_PI * 440 * i / kProcessingRate));
  const auto [toneOut, toneEcho] = echoOf(tone);
  EchoAligner aligner;
  for (size_t at = 0; at + kBlockSamples <= tone.size(); at += kBlockSamples)
    EXPECT_FALSE(aligner.Add(toneEcho.data() + at, toneOut.data() + at)) << "at " << at;
}

// A backend of tones that counts the system-sound inputs the recorder opens.
class CountingBackend final : public CaptureBackend {
 public:
  explicit CountingBackend(ToneBackend& tones) : tones_(tones) {}
  std::unique_ptr<MicrophoneInput> CreateMicrophone(const std::string& device) override {
    return tones_.CreateMicrophone(device);
  }
  std::unique_ptr<SpeakerInput> CreateSpeaker(const std::string& device) override {
    ++speakers;
    return tones_.CreateSpeaker(device);
  }
  std::atomic<int> speakers{0};

 private:
  ToneBackend& tones_;
};

TEST_F(RecorderTest, EchoCancellationCapturesSystemSoundOnlyWhenOnAndNeverHoldsTheMicrophoneBack) {
  CountingBackend counting(backend);
  const auto record = [&](const std::string& format, std::chrono::milliseconds length, double* recorded) {
    AudioRecorder recorder(&owner, &counting);
    EXPECT_EQ(recorder.Init(Settings(format)), 0);
    const auto start = Clock::now();
    recorder.Start();
    std::this_thread::sleep_until(start + length);
    *recorded = SecondsSince(start);
    recorder.Stop();
    recorder.Finish();
    return DecodeFile(recorder.outputPath());
  };
  settings.source = VoiceSource::Microphone;
  double recorded = 0;
  // Off, and for wav (recorded without voice processing), no system sound is captured.
  record("mp3", 300ms, &recorded);
  settings.echoCancellation = true;
  record("wav", 300ms, &recorded);
  EXPECT_EQ(counting.speakers, 0);

  // On: system sound is captured as the reference, not mixed in. The microphone starts
  // delivering only after a second. System sound comes 60 ms after it played, so that the
  // microphone waits for it, and stops for good at 2.5 s. (Schedules count from the backend's
  // start.)
  const int startMs = static_cast<int>(SecondsSince(backend.epoch) * 1000);
  backend.mic.amplitude = 0.3;
  backend.mic.schedule = {{startMs + 1000, Delivery::kNothing}};
  backend.speaker.latencyMs = 60;
  backend.speaker.schedule = {{startMs + 2500, Delivery::kFlow}, {startMs + 3600 * 1000, Delivery::kNothing}};
  const DecodedAudio audio = record("mp3", 5000ms, &recorded);
  EXPECT_EQ(counting.speakers, 1);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, kDurationToleranceSeconds);
  const size_t n = audio.left.size();
  constexpr size_t kRate = 44100;
  for (size_t from = kRate * 12 / 10; from + kRate / 2 <= n - kRate / 10; from += kRate / 2) {
    // The microphone at its own level throughout, before and after the reference stopped:
    // within 3 dB, as the canceller lets the microphone through at -8 dB for a tenth of a
    // second when the system sound stops.
    EXPECT_GT(ToneAmplitude(audio.left, kRate, 440.0, from, from + kRate / 2), 0.3 * 0.7)
        << "at " << static_cast<double>(from) / kRate << " s";
  }
  EXPECT_LT(ToneAmplitude(audio.left, kRate, 1000.0, 0, n), 0.01) << "system sound was mixed in";
  EXPECT_TRUE(Faults().empty());
}

TEST_F(RecorderTest, TheEchoOfAMicrophoneOnAClockOfItsOwnIsCancelled) {
  // The far end talks; the microphone hears it 80 ms later at half its level, on a clock 1 %
  // fast. The drift correction must keep the echo path still for the canceller.
  const std::vector<float> far = MakeEchoScene(14, 0, 0).far;
  std::vector<float> echo(far.size(), 0.0f);
  constexpr size_t kDelay = 44100 * 80 / 1000;
  for (size_t i = kDelay; i < far.size(); ++i) echo[i] = far[i - kDelay] / 2;
  backend.speaker.sound = far;
  backend.mic.sound = echo;
  backend.mic.speed = 1.01;
  settings.source = VoiceSource::Microphone;
  settings.echoCancellation = true;
  const DecodedAudio audio = Record("m4a", 13500ms);
  ASSERT_TRUE(audio.ok) << audio.error;
  // From 4 s on: the correction has learnt the clocks' ratio, the canceller has converged.
  const size_t from = 44100 * 4, to = 44100 * 13;
  ASSERT_GE(audio.left.size(), to);
  double in = 0, out = 0;
  for (size_t i = from; i < to; ++i) {
    in += static_cast<double>(echo[i]) * echo[i];
    out += static_cast<double>(audio.left[i]) * audio.left[i];
  }
  const double erle = 10 * std::log10(in / std::max(out, 1e-12));
  std::printf("echo cancelled by %.1f dB\n", erle);
  EXPECT_GT(erle, 25) << "17-19 dB when the correction chased the offset";
}

}  // namespace
}  // namespace zav::test
