// The controller over generated tones: the device checks and their answers, the life of a
// recording through its events, and files finished while the next recording already runs.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "AudioFile.h"
#include "RecorderHarness.h"
#include "RecordingController.h"
#include "RecordingName.h"
#include "ToneInputs.h"
#include "Trace.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace zav::test {
namespace {

using namespace std::chrono_literals;

// A float microphone whose samples turn into NaN after a second (a broken driver): the AAC
// encoder refuses them.
class NanAfterASecondMicrophone final : public MicrophoneInput {
 public:
  int Open(const CaptureFormat&, const std::atomic<bool>&) override {
    Flush();
    return 0;
  }
  CaptureFormat Format() const override { return {44100, 2, AV_SAMPLE_FMT_FLT}; }
  ReadResult Read(const void** data, int* frames) override {
    constexpr int kPacket = 441;
    const auto due = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_)
                         .count() * 44100 / 1000000;
    if (due < delivered_ + kPacket) return kNone;
    samples_.resize(2 * kPacket);
    for (int i = 0; i < kPacket; ++i, ++delivered_) {
      const float value = delivered_ < 44100 ? 0.5f * std::sin(2 * 3.14159265f * 440.0f * delivered_ / 44100.0f)
                                             : std::numeric_limits<float>::quiet_NaN();
      samples_[2 * i] = samples_[2 * i + 1] = value;
    }
    *data = samples_.data();
    *frames = kPacket;
    return kOk;
  }
  void Release() override {}
  void Flush() override {
    start_ = std::chrono::steady_clock::now();
    delivered_ = 0;
  }
  int Reopen() override { return 0; }

 private:
  std::chrono::steady_clock::time_point start_;
  int64_t delivered_ = 0;
  std::vector<float> samples_;
};

class NanBackend final : public CaptureBackend {
 public:
  std::unique_ptr<MicrophoneInput> CreateMicrophone(const std::string& /*device*/) override { return std::make_unique<NanAfterASecondMicrophone>(); }
  std::unique_ptr<SpeakerInput> CreateSpeaker(const std::string& /*device*/) override { return nullptr; }
};

class FixedDevices final : public DeviceProbe {
 public:
  bool output = true;
  bool microphone = true;
  bool HasOutputDevice() override { return output; }
  bool GetMicrophoneName(std::u16string* name) override {
    if (microphone) *name = u"Tone microphone";
    return microphone;
  }
};

// Keeps every event and lets the test wait for the ones it expects.
class EventLog final : public RecordingListener {
 public:
  void OnStarted(const StartReport& r) override {
    Add([&] {
      started.push_back(r);
      startedAt = std::chrono::steady_clock::now();
      if (whenStarted) whenStarted();
    });
  }
  void OnSeconds(uint64_t id, int64_t s) override {
    Add([&] {
      seconds.emplace_back(id, s);
      secondsAt.push_back(std::chrono::steady_clock::now() - startedAt);
    });
  }
  void OnFault(uint64_t, RecordingFault f) override { Add([&] { faults.push_back(f); }); }
  void OnFinished(const FinishReport& r) override { Add([&] { finished.push_back(r); }); }

  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, done);
  }

  std::function<void()> whenStarted;  // called on the reporting thread as the start is reported

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<StartReport> started;
  std::vector<std::pair<uint64_t, int64_t>> seconds;
  std::chrono::steady_clock::time_point startedAt;
  std::vector<std::chrono::steady_clock::duration> secondsAt;  // after the last start
  std::vector<RecordingFault> faults;
  std::vector<FinishReport> finished;

 private:
  template <typename F>
  void Add(F&& f) {
    std::lock_guard lock(mutex);
    f();
    changed.notify_all();
  }
};

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTraceEnabled(false); }

  RecorderSettings Choices(const std::string& format = "mp3", VoiceSource source = VoiceSource::Both) {
    RecorderSettings c;
    c.format = format;
    c.source = source;
    c.folder = folder.path();
    return c;
  }
  StartReport WaitStarted(size_t n = 1) {
    EXPECT_TRUE(events.WaitFor([&] { return events.started.size() >= n; }));
    std::lock_guard lock(events.mutex);
    return events.started.at(n - 1);
  }
  FinishReport WaitFinished(size_t n = 1) {
    EXPECT_TRUE(events.WaitFor([&] { return events.finished.size() >= n; }));
    std::lock_guard lock(events.mutex);
    return events.finished.at(n - 1);
  }

  TempFolder folder;
  ToneBackend backend;
  FixedDevices devices;
  EventLog events;
  RecordingController controller{&events, &backend, &devices};
};

TEST_F(ControllerTest, DeviceChecksAnswerAsValuesAndLeaveNothingRunning) {
  struct Case {
    bool output, microphone;
    VoiceSource source;
    StartResult expected;
  };
  const Case cases[] = {
      {false, true, VoiceSource::Both, StartResult::kNoOutputDevice},
      {false, true, VoiceSource::Speaker, StartResult::kNoOutputDevice},
      {false, true, VoiceSource::Microphone, StartResult::kStarted},
      {true, false, VoiceSource::Microphone, StartResult::kNoMicrophone},
      {true, false, VoiceSource::Both, StartResult::kStartedWithoutMicrophone},
      {true, false, VoiceSource::Speaker, StartResult::kStarted},
  };
  size_t n = 0;
  for (const Case& c : cases) {
    devices.output = c.output;
    devices.microphone = c.microphone;
    ASSERT_NE(controller.Start(Choices("mp3", c.source)), 0u);
    const StartReport report = WaitStarted(++n);
    EXPECT_EQ(report.result, c.expected) << "case " << n;
    if (IsStarted(report.result)) {
      EXPECT_EQ(controller.state(), RecordingController::State::kRecording);
      controller.Stop();
    }
    controller.WaitUntilIdle();
    EXPECT_EQ(controller.state(), RecordingController::State::kIdle);
  }

  controller.Start(Choices("ogg"));
  EXPECT_EQ(WaitStarted(++n).result, StartResult::kBadFormat);
  RecorderSettings nowhere = Choices();
  nowhere.folder = "/proc/zav-no-such-folder";
  controller.Start(nowhere);
  EXPECT_EQ(WaitStarted(++n).result, StartResult::kFolderNotWritable);
  // A file where the folder should be is a folder that cannot be written, not a device fault.
  RecorderSettings onAFile = Choices();
  onAFile.folder = folder.path() + "/a-file";
  std::ofstream(onAFile.folder) << "x";
  controller.Start(onAFile);
  EXPECT_EQ(WaitStarted(++n).result, StartResult::kFolderNotWritable);
  controller.WaitUntilIdle();
  EXPECT_EQ(controller.state(), RecordingController::State::kIdle);
}

TEST_F(ControllerTest, PauseAndResumeLeaveOnlyTheRecordedTimeAndStopFinishesTheFile) {
  const uint64_t id = controller.Start(Choices("m4a"));
  ASSERT_EQ(WaitStarted().result, StartResult::kStarted);
  EXPECT_EQ(controller.Start(Choices()), 0u) << "one recording at a time";
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(controller.Toggle(Choices()), RecordingController::State::kPaused);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(controller.Toggle(Choices()), RecordingController::State::kRecording);
  std::this_thread::sleep_for(1000ms);
  ASSERT_TRUE(controller.Stop());
  EXPECT_EQ(controller.state(), RecordingController::State::kIdle) << "idle at once, before the file is done";
  EXPECT_FALSE(controller.Stop());

  const FinishReport done = WaitFinished();
  EXPECT_EQ(done.recording, id);
  EXPECT_TRUE(done.good());
  EXPECT_EQ(std::filesystem::path(done.path).parent_path(), folder.path());
  const DecodedAudio audio = DecodeFile(done.path);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), 2.5, 0.3);
  EXPECT_NEAR(done.seconds, audio.seconds(), 0.1);
  std::lock_guard lock(events.mutex);
  ASSERT_FALSE(events.seconds.empty());
  EXPECT_EQ(events.seconds.front(), std::make_pair(id, int64_t{1}));
}

TEST_F(ControllerTest, ANewRecordingStartsWhileThePreviousIsStillFinishing) {
  controller.Start(Choices("m4a"));
  ASSERT_TRUE(IsStarted(WaitStarted(1).result));
  std::this_thread::sleep_for(1200ms);
  controller.Stop();
  controller.Start(Choices("wav", VoiceSource::Speaker));  // the same second: another name
  ASSERT_TRUE(IsStarted(WaitStarted(2).result));
  std::this_thread::sleep_for(1200ms);
  controller.Stop();
  controller.WaitUntilIdle();
  std::lock_guard lock(events.mutex);
  ASSERT_EQ(events.finished.size(), 2u);
  EXPECT_NE(events.finished[0].path, events.finished[1].path);
  for (const FinishReport& r : events.finished) EXPECT_TRUE(r.good()) << r.path;
}

TEST_F(ControllerTest, StopThenStartWithinASecondKeepsBothRecordings) {
  // Starting just after a whole second names both recordings in that second.
  const auto now = std::chrono::system_clock::now();
  std::this_thread::sleep_until(std::chrono::ceil<std::chrono::seconds>(now) + 20ms);
  controller.Start(Choices("mp3", VoiceSource::Microphone));
  const StartReport first = WaitStarted(1);
  ASSERT_TRUE(IsStarted(first.result));
  std::this_thread::sleep_for(300ms);
  controller.Stop();
  backend.mic.frequency = 880.0;
  controller.Start(Choices("mp3", VoiceSource::Microphone));
  const StartReport second = WaitStarted(2);
  ASSERT_TRUE(IsStarted(second.result));
  std::this_thread::sleep_for(300ms);
  controller.Stop();
  controller.WaitUntilIdle();

  ASSERT_NE(first.path, second.path);
  const std::string firstName = std::filesystem::path(first.path).filename().string();
  if (second.path.find(firstName.substr(0, firstName.size() - 4)) != std::string::npos) {
    EXPECT_EQ(std::filesystem::path(second.path).filename().string(), NumberedFileName(firstName, 2));
  }
  const DecodedAudio a = DecodeFile(first.path), b = DecodeFile(second.path);
  ASSERT_TRUE(a.ok && b.ok) << a.error << b.error;
  EXPECT_GT(ToneAmplitude(a.left, 44100, 440.0, 882, 8820), 0.3) << "the first recording was overwritten";
  EXPECT_GT(ToneAmplitude(b.left, 44100, 880.0, 882, 8820), 0.3);
  std::lock_guard lock(events.mutex);
  for (const FinishReport& r : events.finished) EXPECT_TRUE(r.good()) << r.path;
}

// An encoder that fails mid-recording is a fault at once and an incomplete file at the end;
// the file keeps what was encoded before.
TEST_F(ControllerTest, AnEncoderFailureIsReportedNotTurnedIntoSuccess) {
  NanBackend broken;
  RecordingController failing(&events, &broken, &devices);
  failing.Start(Choices("m4a", VoiceSource::Microphone));
  ASSERT_TRUE(IsStarted(WaitStarted().result));
  ASSERT_TRUE(events.WaitFor([&] { return !events.faults.empty(); })) << "no fault";
  failing.Stop();
  const FinishReport done = WaitFinished();
  {
    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.faults.front(), RecordingFault::kEncodeFailed);
  }
  EXPECT_TRUE(done.encodeFailed);
  EXPECT_FALSE(done.complete);
  EXPECT_FALSE(done.good());
  const DecodedAudio audio = DecodeFile(done.path);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), 1.0, 0.3);
  EXPECT_NEAR(ToneAmplitude(audio.left, 44100, 440.0, 4410, 30870), 0.5, 0.08);
}

TEST_F(ControllerTest, AStartIsReportedOnlyOnceSystemSoundIsOpen) {
  // A window stops reading the sinks when a recording reports its start; the recording's own
  // readers must be there by then, or a sink left without one renders seconds ahead unheard.
  backend.speaker.openDelayMs = 300;
  int opensAtStart = -1;
  events.whenStarted = [&] { opensAtStart = backend.speaker.opens; };
  controller.Start(Choices("wav", VoiceSource::Speaker));
  ASSERT_EQ(WaitStarted().result, StartResult::kStarted);
  EXPECT_EQ(opensAtStart, 1);
  std::this_thread::sleep_for(1000ms);
  controller.Stop();
  const FinishReport done = WaitFinished();
  ASSERT_TRUE(done.good());
  const DecodedAudio audio = DecodeFile(done.path);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), 1.0, 0.15);
  EXPECT_GT(ToneAmplitude(audio.left, 44100, 1000, 0, 4410), 0.3) << "the first 0.1 s";
}

TEST_F(ControllerTest, TheShownTimeTurnsAsTheFileCompletesEachSecond) {
  // The window shows the seconds in the file. The encoder writes in batches of half a second;
  // the batch that completes a second ends early, counting what the encoder holds (LAME keeps
  // about 150 ms), so that the shown time does not turn up to a batch late.
  controller.Start(Choices("mp3"));
  ASSERT_EQ(WaitStarted().result, StartResult::kStarted);
  ASSERT_TRUE(events.WaitFor([&] { return events.seconds.size() >= 2; }));
  controller.Stop();
  ASSERT_TRUE(WaitFinished().good());
  std::lock_guard lock(events.mutex);
  for (size_t k = 0; k < 2; ++k) {
    EXPECT_LT(events.secondsAt[k], std::chrono::seconds(k + 1) + 450ms) << "second " << k + 1;
  }
}

TEST_F(ControllerTest, StopWhileStartingFinishesAndLeavesNoEmptyFile) {
  controller.Start(Choices("wav"));
  controller.Stop();
  EXPECT_EQ(controller.state(), RecordingController::State::kIdle);
  const FinishReport done = WaitFinished();
  // Nothing was recorded: the recording's own empty file is removed, not listed.
  EXPECT_TRUE(done.removed);
  EXPECT_FALSE(done.hasAudio);
  EXPECT_FALSE(std::filesystem::exists(done.path));
}

}  // namespace
}  // namespace zav::test
