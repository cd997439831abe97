// Live levels: the block meter on generated samples, the levels a recording reports through
// the controller, and the idle monitor, over generated tones.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>
#include <thread>
#include <vector>

#include "CaptureInputs.h"
#include "LevelLog.h"
#include "LevelMeter.h"
#include "LevelReporter.h"
#include "LevelMonitor.h"
#include "RecorderHarness.h"
#include "RecordingController.h"
#include "ToneInputs.h"
#include "Trace.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace zav::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int kBlock = kRate / 20;

// A stereo sine of `amplitude` (full scale 1.0) at hz, `frames` long.
std::vector<float> Sine(double amplitude, double hz, int frames) {
  std::vector<float> out(static_cast<size_t>(frames) * 2);
  for (int i = 0; i < frames; ++i)
    out[2 * i] = out[2 * i + 1] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / kRate));
  return out;
}

std::vector<int16_t> ToS16(const std::vector<float>& samples) {
  std::vector<int16_t> out;
  for (float s : samples) out.push_back(static_cast<int16_t>(std::lround(std::clamp(s * 32768.0f, -32768.0f, 32767.0f))));
  return out;
}

SourceLevel MeasureFloat(const std::vector<float>& samples) {
  LevelMeter meter;
  meter.Reset(kRate, 2);
  EXPECT_TRUE(meter.AddFloat(samples.data(), static_cast<int>(samples.size() / 2)));
  return meter.level();
}

TEST(LevelMeter, ReadsSineLevelsInDbfsAndTheFloorForSilence) {
  const SourceLevel full = MeasureFloat(Sine(1.0, 1000, kBlock));
  EXPECT_TRUE(full.active);
  EXPECT_NEAR(full.rmsDb, -3.01, 0.1);
  EXPECT_NEAR(full.peakDb, 0.0, 0.05);

  // -20 dBFS RMS: a sine of amplitude 0.1 x sqrt(2).
  const SourceLevel quiet = MeasureFloat(Sine(0.1 * std::numbers::sqrt2, 1000, kBlock));
  EXPECT_NEAR(quiet.rmsDb, -20.0, 0.5);
  EXPECT_NEAR(quiet.peakDb, -17.0, 0.1);
  EXPECT_FALSE(quiet.clipped);

  const SourceLevel silence = MeasureFloat(std::vector<float>(kBlock * 2, 0.0f));
  EXPECT_EQ(silence.rmsDb, kLevelFloorDb);
  EXPECT_EQ(silence.peakDb, kLevelFloorDb);
  // Very quiet sound stays on the floor rather than below it.
  EXPECT_EQ(MeasureFloat(Sine(1e-5, 1000, kBlock)).rmsDb, kLevelFloorDb);

  LevelMeter meter;
  meter.Reset(kRate, 2);
  EXPECT_TRUE(meter.Add(nullptr, kBlock, AV_SAMPLE_FMT_FLT)) << "a hole reads as silence";
  EXPECT_EQ(meter.level().rmsDb, kLevelFloorDb);
}

TEST(LevelMeter, BlocksAreATwentiethOfASecondAcrossPiecesOfAnySize) {
  LevelMeter meter;
  meter.Reset(kRate, 2);
  const std::vector<float> loud = Sine(0.5, 440, kBlock * 3);
  EXPECT_FALSE(meter.AddFloat(loud.data(), kBlock - 1));
  EXPECT_EQ(meter.level().rmsDb, kLevelFloorDb) << "no block has finished yet";
  EXPECT_TRUE(meter.AddFloat(loud.data() + 2 * (kBlock - 1), 1));
  EXPECT_NEAR(meter.level().rmsDb, -9.03, 0.1);
  // A block is measured as a whole: loud then silent halves average out.
  const std::vector<float> silence(2 * kBlock, 0.0f);
  EXPECT_FALSE(meter.AddFloat(loud.data(), kBlock / 2));
  EXPECT_TRUE(meter.AddFloat(silence.data(), kBlock - kBlock / 2));
  EXPECT_NEAR(meter.level().rmsDb, -9.03 - 3.01, 0.2);
  EXPECT_NEAR(meter.level().peakDb, -6.02, 0.1);
  // A new format drops the block in progress.
  EXPECT_FALSE(meter.AddFloat(loud.data(), kBlock / 2));
  meter.Reset(32000, 1);
  std::vector<int16_t> mono(1600, 0);
  EXPECT_TRUE(meter.AddS16(mono.data(), 1600));
  EXPECT_EQ(meter.level().rmsDb, kLevelFloorDb);
}

TEST(LevelMeter, FullScaleSamplesClipInEveryFormatAndFormatsAgree) {
  std::vector<float> samples(kBlock * 2, 0.9f);
  EXPECT_FALSE(MeasureFloat(samples).clipped);
  samples[123] = -1.0f;
  EXPECT_TRUE(MeasureFloat(samples).clipped);
  // A broken driver's NaN does not leave the meter's range.
  samples[200] = std::numeric_limits<float>::quiet_NaN();
  const SourceLevel broken = MeasureFloat(samples);
  EXPECT_TRUE(broken.rmsDb >= kLevelFloorDb && broken.rmsDb <= 0.0f) << broken.rmsDb;
  EXPECT_TRUE(broken.peakDb >= kLevelFloorDb && broken.peakDb <= 0.0f) << broken.peakDb;

  LevelMeter meter;
  meter.Reset(kRate, 2);
  std::vector<int16_t> s16(kBlock * 2, 29491);  // 0.9
  meter.AddS16(s16.data(), kBlock);
  EXPECT_FALSE(meter.level().clipped);
  for (int16_t full : {int16_t{32767}, int16_t{-32768}}) {
    s16[77] = full;
    meter.AddS16(s16.data(), kBlock);
    EXPECT_TRUE(meter.level().clipped) << full;
  }
  std::vector<int32_t> s32(kBlock * 2, 1932735283);  // 0.9
  meter.Add(s32.data(), kBlock, AV_SAMPLE_FMT_S32);
  EXPECT_FALSE(meter.level().clipped);
  EXPECT_NEAR(meter.level().peakDb, -0.92, 0.05);
  s32[5] = INT32_MAX;
  meter.Add(s32.data(), kBlock, AV_SAMPLE_FMT_S32);
  EXPECT_TRUE(meter.level().clipped);
  // The next block starts unclipped.
  s32[5] = 0;
  meter.Add(s32.data(), kBlock, AV_SAMPLE_FMT_S32);
  EXPECT_FALSE(meter.level().clipped);

  const std::vector<float> tone = Sine(0.3, 997, kBlock);
  const SourceLevel asFloat = MeasureFloat(tone);
  const std::vector<int16_t> toneS16 = ToS16(tone);
  meter.Reset(kRate, 2);
  ASSERT_TRUE(meter.Add(toneS16.data(), kBlock, AV_SAMPLE_FMT_S16));
  EXPECT_NEAR(meter.level().rmsDb, asFloat.rmsDb, 0.01);
  EXPECT_NEAR(meter.level().peakDb, asFloat.peakDb, 0.01);
}

TEST(LevelReporter, OneReportCarriesBothSourcesAtMostEveryFiftyMilliseconds) {
  LevelReporter reporter;
  std::vector<std::pair<int64_t, LevelReport>> reports;
  SourceLevel mic{true, -12.0f, -6.0f, false};
  const SourceLevel speaker{true, -30.0f, -20.0f, true};
  // Both sources publish every millisecond for three seconds, out of step.
  for (int64_t ms = 1000; ms < 4000; ++ms) {
    mic.rmsDb = -12.0f - static_cast<float>(ms % 7);
    reporter.Publish(LevelSource::kMicrophone, mic, ms, [&](const LevelReport& r) { reports.emplace_back(ms, r); });
    reporter.Publish(LevelSource::kSystemSound, speaker, ms + 1,
                     [&](const LevelReport& r) { reports.emplace_back(ms + 1, r); });
  }
  ASSERT_EQ(reports.size(), 61u);  // at 1000, 1050, ..., 4000
  for (size_t i = 1; i < reports.size(); ++i) EXPECT_GE(reports[i].first - reports[i - 1].first, 50);
  const LevelReport& last = reports.back().second;
  EXPECT_EQ(last.systemSound, speaker);
  EXPECT_TRUE(last.microphone.active);
  EXPECT_LE(last.microphone.rmsDb, -12.0f);

  reporter.Clear();
  int after = 0;
  reporter.Publish(LevelSource::kSystemSound, speaker, 4001, [&](const LevelReport& r) {
    ++after;
    EXPECT_FALSE(r.microphone.active) << "Clear empties both sources";
  });
  EXPECT_EQ(after, 1) << "after Clear the next report goes out at once";
}

class FixedDevices final : public DeviceProbe {
 public:
  bool HasOutputDevice() override { return true; }
  bool GetMicrophoneName(std::u16string* name) override {
    *name = u"Tone microphone";
    return true;
  }
};

// The microphone plays 0.5 of full scale (-9.03 dBFS RMS), system sound 0.1 (-23.01).
class LevelsOfARecording : public ::testing::Test {
 protected:
  static constexpr double kMicDb = -9.03;
  static constexpr double kSpeakerDb = -23.01;

  void SetUp() override {
    SetTraceEnabled(false);
    backend.mic.amplitude = 0.5;
    backend.speaker.amplitude = 0.1;
  }
  void StartRecording(VoiceSource source) {
    RecorderSettings c;
    c.source = source;
    c.format = "mp3";
    c.folder = folder.path();
    ASSERT_NE(controller.Start(c), 0u);
    const auto started = listener.WaitStarted(10s);
    ASSERT_TRUE(started && IsStarted(started->result));
  }

  TempFolder folder;
  ToneBackend backend;
  FixedDevices devices;
  LevelListener listener;
  RecordingController controller{&listener, &backend, &devices};
};

TEST_F(LevelsOfARecording, BothSourcesReportTheirTonesAtMostTwentyTimesASecond) {
  StartRecording(VoiceSource::Both);
  std::this_thread::sleep_for(500ms);
  const auto from = Clock::now();
  std::this_thread::sleep_for(3s);
  const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
  const std::vector<TimedLevels> reports = listener.log.Since(from);
  controller.Stop();
  controller.WaitUntilIdle();

  ASSERT_GE(reports.size(), 20u) << "levels keep coming while recording";
  EXPECT_LE(static_cast<double>(reports.size()), 20 * seconds + 1);
  EXPECT_LE(MostReportsWithin(reports, 950ms), 20u);
  for (const TimedLevels& r : reports) {
    ASSERT_TRUE(r.levels.microphone.active);
    ASSERT_TRUE(r.levels.systemSound.active);
    EXPECT_NEAR(r.levels.microphone.rmsDb, kMicDb, 0.5);
    EXPECT_NEAR(r.levels.systemSound.rmsDb, kSpeakerDb, 0.5);
    EXPECT_NEAR(r.levels.microphone.peakDb, -6.02, 0.5);
    EXPECT_FALSE(r.levels.microphone.clipped);
  }
}

TEST_F(LevelsOfARecording, SpeakerModeLeavesTheMicrophoneEmptyAndPauseReportsNothing) {
  StartRecording(VoiceSource::Speaker);
  ASSERT_TRUE(listener.log.WaitFor([](const LevelReport& r) { return r.systemSound.active; }, 5s));
  std::this_thread::sleep_for(500ms);
  for (const TimedLevels& r : listener.log.All()) EXPECT_FALSE(r.levels.microphone.active);
  EXPECT_NEAR(listener.log.Latest()->systemSound.rmsDb, kSpeakerDb, 0.5);

  // Nothing playing: system sound reads as silence, still recorded.
  backend.speaker.playing = false;
  EXPECT_TRUE(listener.log.WaitFor(
      [](const LevelReport& r) { return r.systemSound.active && r.systemSound.rmsDb == kLevelFloorDb; }, 3s));
  backend.speaker.playing = true;

  ASSERT_TRUE(controller.Pause());
  std::this_thread::sleep_for(200ms);  // a report on its way when Pause came may still arrive
  const auto paused = Clock::now();
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(listener.log.Since(paused).empty());
  ASSERT_TRUE(controller.Resume());
  EXPECT_TRUE(listener.log.WaitFor(
      [](const LevelReport& r) { return std::abs(r.systemSound.rmsDb - kSpeakerDb) < 0.5; }, 3s));
  controller.Stop();
  controller.WaitUntilIdle();
}

// A microphone whose server never answers: Open waits for its deadline or its cancel flag.
class SlowServerBackend final : public CaptureBackend {
  class SlowMicrophone final : public MicrophoneInput {
   public:
    int Open(const CaptureFormat&, const std::atomic<bool>& cancel) override {
      const auto deadline = Clock::now() + 20s;
      while (!cancel && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
      return -1;
    }
    CaptureFormat Format() const override { return {}; }
    ReadResult Read(const void**, int*) override { return kGone; }
    void Release() override {}
    void Flush() override {}
    int Reopen() override { return -1; }
  };

 public:
  std::unique_ptr<MicrophoneInput> CreateMicrophone(const std::string& /*device*/) override { return std::make_unique<SlowMicrophone>(); }
  std::unique_ptr<SpeakerInput> CreateSpeaker(const std::string& /*device*/) override { return nullptr; }
};

TEST(LevelMonitorTones, ReportsTheSourcesWithoutRecordingAndRestartsForAnotherSource) {
  ToneBackend backend;
  backend.mic.amplitude = 0.5;
  backend.speaker.amplitude = 0.1;
  LevelLog log;
  LevelMonitor monitor(log.Sink(), &backend);
  monitor.Start(VoiceSource::Both);
  EXPECT_TRUE(monitor.running());
  EXPECT_TRUE(log.WaitFor(
      [](const LevelReport& r) {
        return std::abs(r.microphone.rmsDb + 9.03) < 0.5 && std::abs(r.systemSound.rmsDb + 23.01) < 0.5;
      },
      5s));
  const auto from = Clock::now();
  std::this_thread::sleep_for(2s);
  const std::vector<TimedLevels> reports = log.Since(from);
  EXPECT_GE(reports.size(), 10u);
  EXPECT_LE(MostReportsWithin(reports, 950ms), 20u);

  monitor.Start(VoiceSource::Speaker);
  ASSERT_TRUE(log.WaitFor([](const LevelReport& r) { return r.systemSound.active; }, 5s));
  const auto restarted = Clock::now();
  std::this_thread::sleep_for(300ms);
  for (const TimedLevels& r : log.Since(restarted)) EXPECT_FALSE(r.levels.microphone.active);
  monitor.Stop();
  EXPECT_FALSE(monitor.running());
  const size_t count = log.All().size();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(log.All().size(), count) << "nothing after Stop";
}

TEST(LevelMonitorTones, AMissingMicrophoneIsEmptyAndStopDoesNotWaitForASlowServer) {
  ToneBackend backend;
  backend.micOpenFails = true;
  LevelLog log;
  LevelMonitor monitor(log.Sink(), &backend);
  monitor.Start(VoiceSource::Both);
  ASSERT_TRUE(log.WaitFor([](const LevelReport& r) { return r.systemSound.active; }, 5s));
  std::this_thread::sleep_for(300ms);
  for (const TimedLevels& r : log.All()) EXPECT_FALSE(r.levels.microphone.active);
  monitor.Stop();

  SlowServerBackend slow;
  LevelMonitor stuck(log.Sink(), &slow);
  stuck.Start(VoiceSource::Microphone);
  std::this_thread::sleep_for(200ms);  // the open is under way
  const auto stopping = Clock::now();
  stuck.Stop();
  EXPECT_LT(Clock::now() - stopping, 1s) << "Stop waited for the server";
}

}  // namespace
}  // namespace zav::test
