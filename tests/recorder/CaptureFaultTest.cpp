// The capture threads over generated inputs that misbehave: a microphone on a clock of its
// own, a microphone path that fails, system sound that changes format, a trace that nobody
// reads. The recording keeps the wall clock and its sources in step.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "RecordingController.h"
#include "ToneRecorderFixture.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 44100;

size_t At(double seconds) { return static_cast<size_t>(seconds * kRate); }

class ClockDriftTest : public RecorderTest, public ::testing::WithParamInterface<double> {};

TEST_P(ClockDriftTest, MicrophoneOnAClockOfItsOwnStaysInStepWithSystemSound) {
  // The room plays a system-sound burst at each whole second and a microphone burst half a
  // second later; the microphone's clock runs 2 % fast or slow.
  backend.mic.speed = GetParam();
  for (ToneSettings* tone : {&backend.speaker, &backend.mic}) {
    tone->burstPeriodMs = 1000;
    tone->burstMs = 200;
  }
  backend.mic.burstOffsetMs = 500;
  // Left alone, 2 % puts the microphone 0.05 s out of step within 2.5 s and 0.16 s by the end.
  double recorded = 0;
  const DecodedAudio audio = Record("wav", 8000ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.6);
  // Mixed, each burst is at a quarter of full scale.
  const std::vector<double> speaker = Onsets(audio.left, kRate, 1000.0, 0.12);
  const std::vector<double> microphone = Onsets(audio.left, kRate, 440.0, 0.12);
  int pairs = 0;
  for (double mic : microphone) {
    double last = -1;
    for (double s : speaker)
      if (s < mic) last = s;
    if (last < 0) continue;
    ++pairs;
    EXPECT_NEAR(mic - last, 0.5, 0.05) << "at " << mic << " s the microphone is out of step with system sound";
  }
  EXPECT_GE(pairs, 6);
}

INSTANTIATE_TEST_SUITE_P(Speeds, ClockDriftTest, ::testing::Values(1.02, 0.98),
                         [](const auto& info) { return info.param > 1 ? std::string("Fast") : std::string("Slow"); });

TEST_F(RecorderTest, MicrophonePathThatCannotBeSetUpIsReplacedBySilenceAndReported) {
  // The microphone delivers a sample format that voice processing cannot convert.
  settings.source = VoiceSource::Microphone;
  settings.gainControl = true;
  backend.micFormat = {44100, 2, /*AV_SAMPLE_FMT_NONE*/ -1};
  double recorded = 0;
  const DecodedAudio audio = Record("m4a", 2500ms, &recorded);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, kDurationToleranceSeconds) << "the recording stopped with the microphone";
  EXPECT_LT(Rms(audio.left), 1e-3);
  EXPECT_EQ(Faults(), (std::vector<intptr_t>{static_cast<intptr_t>(RecordingFault::kMicrophoneFailed)}));
  ASSERT_FALSE(owner.Seconds().empty());
  EXPECT_GE(owner.Seconds().back(), 2);
}

TEST_F(RecorderTest, ControllerReportsAFailedMicrophoneAsSuchAndRecordsOn) {
  // Reported as anything else (a write failure), the front end would end the recording.
  struct Devices final : DeviceProbe {
    bool HasOutputDevice() override { return true; }
    bool GetMicrophoneName(std::u16string* name) override {
      *name = u"Tone microphone";
      return true;
    }
  } devices;
  struct Listener final : RecordingListener {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<RecordingFault> faults;
    std::optional<FinishReport> finished;
    void OnStarted(const StartReport&) override {}
    void OnSeconds(uint64_t, int64_t) override {}
    void OnFault(uint64_t, RecordingFault fault) override {
      std::lock_guard lock(mutex);
      faults.push_back(fault);
    }
    void OnFinished(const FinishReport& report) override {
      std::lock_guard lock(mutex);
      finished = report;
      changed.notify_all();
    }
  } listener;
  backend.micFormat = {44100, 2, /*AV_SAMPLE_FMT_NONE*/ -1};
  RecordingController controller(&listener, &backend, &devices);
  RecorderSettings choices;
  choices.source = VoiceSource::Microphone;
  choices.format = "mp3";
  choices.gainControl = true;  // its converter to 32 kHz cannot be made
  choices.folder = folder.path();
  controller.Start(choices);
  std::this_thread::sleep_for(1500ms);
  controller.Stop();
  controller.WaitUntilIdle();
  std::lock_guard lock(listener.mutex);
  EXPECT_EQ(listener.faults, std::vector<RecordingFault>{RecordingFault::kMicrophoneFailed});
  ASSERT_TRUE(listener.finished.has_value());
  EXPECT_TRUE(listener.finished->good());
  EXPECT_NEAR(listener.finished->seconds, 1.5, 0.3);
}

TEST_F(RecorderTest, MicrophoneThatFailsMidRecordingLeavesSilenceAndTheRecordingGoesOn) {
  // Both sources; the microphone goes away and comes back in a format the path cannot take.
  backend.micReopenFormat = {44100, 2, /*AV_SAMPLE_FMT_NONE*/ -1};
  double recorded = 0;
  const DecodedAudio audio = Record("mp3", 4000ms, &recorded, true, [this] {
    backend.mic.failReads = true;
    std::this_thread::sleep_for(300ms);
    backend.mic.failReads = false;
  }, 1000ms);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.6);
  const size_t n = audio.left.size();
  EXPECT_GT(ToneAmplitude(audio.left, kRate, 440.0, At(0.25), At(0.9)), 0.15);
  EXPECT_LT(ToneAmplitude(audio.left, kRate, 440.0, n - At(1.5), n - At(0.1)), 0.01);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, 1000.0, n - At(1.5), n - At(0.1)), 0.15) << "system sound stopped too";
  EXPECT_EQ(Faults(), (std::vector<intptr_t>{static_cast<intptr_t>(RecordingFault::kMicrophoneFailed)}));
}

TEST_F(RecorderTest, SystemSoundThatChangesFormatKeepsItsPitchAndPace) {
  // 48 kHz stereo, then 44.1 kHz mono: a converter left from before would play the new
  // format at the wrong speed and read past the end of its packets.
  settings.source = VoiceSource::Speaker;
  double recorded = 0;
  const DecodedAudio audio = Record("wav", 3500ms, &recorded, true, [this] {
    backend.speaker.switchChannels = 1;
    backend.speaker.switchRate = 44100;
  }, 1500ms);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), recorded, 0.6);
  const size_t n = audio.left.size();
  EXPECT_NEAR(PeakFrequency(audio.left, kRate, At(0.2), 16384), 1000.0, 6.0);
  EXPECT_NEAR(PeakFrequency(audio.left, kRate, n - At(0.9), 16384), 1000.0, 6.0);
  EXPECT_GT(ToneAmplitude(audio.right, kRate, 1000.0, n - At(1.0), n - At(0.1)), 0.2);
}

TEST(Trace, NeverHoldsUpItsCallerWhenNobodyReadsTheOutput) {
  // Standard output is a pipe nobody reads: once it is full, a write would block.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  signal(SIGPIPE, SIG_IGN);
  const int savedStdout = dup(STDOUT_FILENO);
  ASSERT_GE(savedStdout, 0);
  ASSERT_GE(dup2(pipeFds[1], STDOUT_FILENO), 0);
  SetTraceEnabled(true);
  std::atomic<bool> done{false};
  std::thread caller([&done] {
    for (int i = 0; i < 20000; ++i) Trace("audio fifo is empty, lock\n");
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!done && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  const bool finished = done;
  SetTraceEnabled(false);
  // Take what was written, so that the trace's writer has nothing left for the real output.
  fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
  char sink[4096];
  size_t read = 0;
  for (int quiet = 0; quiet < 20; ++quiet) {
    ssize_t got;
    while ((got = ::read(pipeFds[0], sink, sizeof sink)) > 0) {
      read += static_cast<size_t>(got);
      quiet = 0;
    }
    std::this_thread::sleep_for(20ms);
  }
  dup2(savedStdout, STDOUT_FILENO);
  close(savedStdout);
  close(pipeFds[0]);  // a caller still blocked in write gets EPIPE now, so it can be joined
  close(pipeFds[1]);
  caller.join();
  EXPECT_TRUE(finished) << "a trace blocked its caller";
  EXPECT_GT(read, 0u) << "nothing was traced";
}

}  // namespace
}  // namespace zav::test
