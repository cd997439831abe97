// Live levels against a real sound server of its own: the meters of a recording follow the
// two tones the server plays, the idle monitor hears them without recording, and
// zav-record --levels prints them once a second.

#include <regex>
#include <sstream>

#include "LevelLog.h"
#include "LevelMonitor.h"
#include "RealSoundFixture.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

// The tones reach the meters well above this; silence reads the floor.
constexpr float kHeardDb = -40.0f;

class LevelOwner final : public RecorderOwner {
 public:
  void PostMessage(unsigned, uintptr_t, intptr_t) override {}
  void OnLevels(const LevelReport& levels) override { log.Add(levels); }
  LevelLog log;
};

bool BothHeard(const LevelReport& r) {
  return r.microphone.active && r.systemSound.active && r.microphone.rmsDb > kHeardDb && r.systemSound.rmsDb > kHeardDb;
}

TEST_F(RealSound, LevelsFollowBothTonesAndAMutedMicrophoneDropsToTheFloorAtOnce) {
  START_SERVER_OR_SKIP();
  settings.source = VoiceSource::Both;
  LevelOwner levels;
  AudioRecorder recorder(&levels);
  ASSERT_EQ(recorder.Init(Settings("wav")), 0);
  recorder.Start();
  ASSERT_TRUE(levels.log.WaitFor(BothHeard, 5s)) << "no report with both tones heard";
  std::this_thread::sleep_for(500ms);

  const auto muted = Clock::now();
  ASSERT_TRUE(server->Pactl({"set-source-mute", PulseServer::kMicrophoneSource, "1"})) << server->error();
  const auto afterMute = Clock::now();
  ASSERT_TRUE(levels.log.WaitFor([](const LevelReport& r) { return r.microphone.rmsDb == kLevelFloorDb; }, 3s));
  std::this_thread::sleep_for(700ms);
  recorder.Stop();
  recorder.Finish();

  std::optional<Clock::time_point> floorAt;
  for (const TimedLevels& r : levels.log.Since(muted)) {
    if (!floorAt && r.levels.microphone.rmsDb == kLevelFloorDb) floorAt = r.at;
    ASSERT_TRUE(r.levels.microphone.active);
    EXPECT_GT(r.levels.systemSound.rmsDb, kHeardDb) << "system sound keeps its level";
    if (r.at > afterMute + 500ms) {
      EXPECT_EQ(r.levels.microphone.rmsDb, kLevelFloorDb) << "the muted microphone came back";
    }
  }
  ASSERT_TRUE(floorAt);
  EXPECT_LT(*floorAt - afterMute, 500ms);
}

TEST_F(RealSound, IdleMonitorHearsBothTonesAndStopsAtOnceWhenTheServerHangs) {
  START_SERVER_OR_SKIP();
  LevelLog log;
  LevelMonitor monitor(log.Sink());
  monitor.Start(VoiceSource::Both);
  EXPECT_TRUE(log.WaitFor(BothHeard, 5s)) << "the monitor did not hear both tones";
  ASSERT_TRUE(server->UnloadModule(server->outputToneModule()));
  EXPECT_TRUE(log.WaitFor(
      [](const LevelReport& r) { return r.systemSound.active && r.systemSound.rmsDb == kLevelFloorDb; }, 3s))
      << "system sound stopped playing but its meter did not drop";
  monitor.Stop();

  // A monitor that opens its devices on a frozen server is stopped without waiting for it.
  ASSERT_TRUE(server->Freeze());
  monitor.Start(VoiceSource::Both);
  std::this_thread::sleep_for(300ms);
  const auto stopping = Clock::now();
  monitor.Stop();
  EXPECT_LT(Clock::now() - stopping, 500ms) << "Stop waited for the frozen server";
  server->Thaw();
}

TEST_F(RealSound, IdleMonitorShowsAMissingMicrophoneAsEmpty) {
  START_SERVER_OR_SKIP(MicrophoneKind::kNone);
  LevelLog log;
  LevelMonitor monitor(log.Sink());
  monitor.Start(VoiceSource::Both);
  ASSERT_TRUE(log.WaitFor([](const LevelReport& r) { return r.systemSound.active && r.systemSound.rmsDb > kHeardDb; },
                          5s));
  monitor.Stop();
  for (const TimedLevels& r : log.All()) EXPECT_FALSE(r.levels.microphone.active);
}

TEST_F(RealSound, CommandLinePrintsLevelsOnStandardErrorOnceASecond) {
  START_SERVER_OR_SKIP(MicrophoneKind::kFedSink, true);
  const std::string errors = folder.path() + "/errors";
  const std::string script = "\"$0\" --source both --format wav --seconds 3.5 --levels --output-dir '" + folder.path() +
                             "' 2>'" + errors + "'";
  const CommandResult r = RunCommand({"bash", "-c", script, ZAV_RECORD_PATH}, {{"PULSE_SERVER", server->address()}}, 30s);
  ASSERT_TRUE(r.finished && r.exitCode == 0) << r.output << ReadAll(errors);
  EXPECT_EQ(r.output.find('\n'), r.output.size() - 1) << "more than the path: " << r.output;
  EXPECT_TRUE(DecodeFile(r.output.substr(0, r.output.size() - 1)).ok);

  std::istringstream lines(ReadAll(errors));
  const std::regex shape(R"(mic (-?\d+\.\d) speaker (-?\d+\.\d))");
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << "unexpected line: " << line;
    ++count;
    if (count == 1) continue;  // the first second may start before the tones reach the meters
    const double mic = std::stod(m[1]), speaker = std::stod(m[2]);
    EXPECT_GT(mic, kHeardDb);
    EXPECT_LE(mic, 0.0);
    EXPECT_GT(speaker, kHeardDb);
    EXPECT_LE(speaker, 0.0);
  }
  EXPECT_EQ(count, 3) << "one line a second for 3.5 s";
}

}  // namespace
}  // namespace zav::test
