#pragma once
// The fixture of the tests that record against a real sound server of their own: the server
// plays kSpeakerHz into the output and, through the microphone's feed sink, kMicrophoneHz into
// the microphone. Unless a test asks to keep the output flowing, the output runs at its
// default latency, as on a user's machine: a recording of system sound may hear nothing for
// up to 2 s at its start.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AudioFile.h"
#include "AudioRecorder.h"
#include "ChildProcess.h"
#include "PulseServer.h"
#include "RecorderHarness.h"
#include "StallWatch.h"
#include "Trace.h"
#include "pulse/MixerWrap.h"

namespace zav::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline constexpr int kSpeakerHz = 1000;
inline constexpr int kMicrophoneHz = 440;
inline constexpr size_t kRate = 44100;

inline PulseServerOptions ToneServer(MicrophoneKind microphone = MicrophoneKind::kFedSink,
                                     bool keepOutputFlowing = false) {
  PulseServerOptions options;
  options.microphone = microphone;
  options.outputToneHz = kSpeakerHz;
  options.keepOutputFlowing = keepOutputFlowing;
  return options;
}

class RealSound : public ::testing::Test {
 protected:
  void SetUp() override { SetTraceEnabled(false); }

  // Starts the server; the microphone (when there is one) hears kMicrophoneHz.
  // keepOutputFlowing: for tests of other things that look at system sound from the first
  // moment (see PulseServerOptions).
  bool StartServer(MicrophoneKind microphone = MicrophoneKind::kFedSink, bool keepOutputFlowing = false) {
    server = std::make_unique<PulseServer>(ToneServer(microphone, keepOutputFlowing));
    if (!server->running()) return false;
    if (microphone == MicrophoneKind::kFedSink) micTone = server->PlayTone(PulseServer::kMicrophoneFeedSink, kMicrophoneHz);
    return microphone != MicrophoneKind::kFedSink || micTone >= 0;
  }

  // The fixture's choices (settings) for a recording in `format`.
  RecorderSettings Settings(const std::string& format) {
    RecorderSettings s = settings;
    s.fileName = "新录音-real." + format;
    s.folder = folder.path();
    s.format = format;
    s.bitRate = 128000;
    s.hasMicrophone = GetMicrophoneName(&s.micEndpointName);
    return s;
  }

  struct Step {
    std::chrono::milliseconds wait;
    std::function<bool()> action;  // may be empty
  };
  struct Recording {
    DecodedAudio audio;
    double recorded = 0;     // wall-clock seconds from Start to Stop
    double stopSeconds = 0;  // how long Stop took
    FinishResult finish;
    // The machine's longest stall while it recorded (StallWatch) and when it ended, in
    // seconds after Start.
    std::chrono::milliseconds stall{0};
    double stallEndedAt = 0;
  };

  // Starts a recording, then waits and acts step by step, then stops it after the last wait.
  Recording RecordSteps(const std::string& format, const std::vector<Step>& steps) {
    Recording out;
    AudioRecorder recorder(&owner);
    EXPECT_EQ(recorder.Init(Settings(format)), 0);
    const StallWatch watch;
    const auto start = Clock::now();
    recordingStart = start;
    recorder.Start();
    for (const Step& step : steps) {
      std::this_thread::sleep_for(step.wait);
      if (step.action) {
        EXPECT_TRUE(step.action()) << (server ? server->error() : "");
      }
    }
    const auto stop = Clock::now();
    recorder.Stop();
    out.stopSeconds = std::chrono::duration<double>(Clock::now() - stop).count();
    out.recorded = std::chrono::duration<double>(stop - start).count();
    out.stall = watch.longest();
    out.stallEndedAt = watch.longestEndedAt();
    recorder.Finish(&out.finish);
    out.audio = DecodeFile(recorder.outputPath());
    return out;
  }

  // Whether the machine stalled while r was recorded for longer than `limit`, for tests whose
  // figures such a stall would spoil: one of a second or more, which the recorder rides
  // through up to a point (AMachineStallLosesNoAudio stalls 2 s), or one that moves an echo
  // path. Says so; such a test records
  // again, with a server of its own, up to kStalledAttempts times in all. On this machine
  // under the whole test command, a recording's longest stall is under 10 ms.
  static constexpr int kStalledAttempts = 3;
  static constexpr std::chrono::milliseconds kLongerThanTheRecorderRidesThrough{1000};
  static bool StalledIn(const Recording& r, int attempt, std::chrono::milliseconds limit) {
    if (r.stall <= limit) return false;
    std::fprintf(stderr, "the machine stalled for %lld ms, %.2f s into recording %d of at most %d%s\n",
                 static_cast<long long>(r.stall.count()), r.stallEndedAt, attempt, kStalledAttempts,
                 attempt < kStalledAttempts ? ": recording again" : "");
    return attempt < kStalledAttempts;
  }

  // Records for `length`; when `change` is given, it runs then and the recording goes on
  // for `after`. *recorded gets the wall-clock time from Start to Stop.
  DecodedAudio Record(const std::string& format, std::chrono::milliseconds length, double* recorded = nullptr,
                      const std::function<bool()>& change = {}, std::chrono::milliseconds after = 0ms) {
    std::vector<Step> steps = {{length, change}};
    if (change) steps.push_back({after, {}});
    Recording r = RecordSteps(format, steps);
    if (recorded) *recorded = r.recorded;
    return std::move(r.audio);
  }

  // Restarts the server (see PulseServer::Restart) and the microphone's tone.
  bool RestartServer(int sampleRate = 0, int outputChannels = 0) {
    if (!server->Restart(sampleRate, outputChannels)) return false;
    micTone = server->PlayTone(PulseServer::kMicrophoneFeedSink, kMicrophoneHz);
    return micTone >= 0;
  }

  std::unique_ptr<PulseServer> server;
  int micTone = -1;
  Clock::time_point recordingStart;  // when RecordSteps last called Start
  TempFolder folder;
  RecorderSettings settings;  // the choices of the next recording (Settings fills the rest)
  RecordingOwner owner;
};

#define START_SERVER_OR_SKIP(...)                                                     \
  if (!StartServer(__VA_ARGS__)) {                                                    \
    if (FindProgram("pulseaudio").empty()) GTEST_SKIP() << "pulseaudio is not installed"; \
    FAIL() << "the test sound server did not start: " << (server ? server->error() : ""); \
  }

}  // namespace zav::test
