#pragma once
// The fixture of the tests that drive the recorder with generated tones (ToneBackend).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "AudioFile.h"
#include "AudioRecorder.h"
#include "RecorderHarness.h"
#include "ToneInputs.h"
#include "Trace.h"

namespace zav::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline constexpr double kDurationToleranceSeconds = 0.25;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTraceEnabled(false); }

  // The fixture's choices (settings) for a recording in `format`.
  RecorderSettings Settings(const std::string& format, bool hasMicrophone = true) {
    RecorderSettings s = settings;
    s.fileName = "新录音-test." + format;
    s.folder = folder.path();
    s.bitRate = 128000;
    s.format = format;
    s.hasMicrophone = hasMicrophone;
    s.micEndpointName = u"Test microphone";
    return s;
  }

  // Records for `length` of wall-clock time and returns the decoded file and the time recorded
  // (Start to Stop). `meanwhile` (when given) runs after `changeAfter`, while recording.
  DecodedAudio Record(const std::string& format, std::chrono::milliseconds length, double* recorded = nullptr,
                      bool hasMicrophone = true, const std::function<void()>& meanwhile = {},
                      std::chrono::milliseconds changeAfter = std::chrono::milliseconds(0)) {
    AudioRecorder recorder(&owner, &backend);
    EXPECT_EQ(recorder.Init(Settings(format, hasMicrophone)), 0);
    const auto start = Clock::now();
    recorder.Start();
    if (meanwhile) {
      std::this_thread::sleep_for(changeAfter);
      meanwhile();
    }
    std::this_thread::sleep_until(start + length);
    if (recorded) *recorded = SecondsSince(start);
    recorder.Stop();
    recorder.Finish();
    path = recorder.outputPath();
    return DecodeFile(path);
  }

  // Posted faults, in order.
  std::vector<intptr_t> Faults() const {
    std::vector<intptr_t> faults;
    for (const auto& m : owner.All())
      if (m.message == kWmRecordFault) faults.push_back(m.lParam);
    return faults;
  }

  TempFolder folder;
  RecorderSettings settings;  // the choices of the next recording (Settings fills the rest)
  ToneBackend backend;
  RecordingOwner owner;
  std::string path;
};

}  // namespace zav::test
