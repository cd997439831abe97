// Scheduled jobs recording in the main window over a private sound server, on a clock that runs
// ten times as fast as the real one (each job second is a tenth of a real one): two jobs that
// overlap take turns after a recording of the user's, which they never cut; a job of an older
// file is never recorded; the list and the file follow each job from 未开始 through 进行中 to
// 已完成; a clock set forward starts a job late for the rest of its time, and one set back
// records nothing twice. And on the real clock: a job of a window in the tray hears a sound that
// was already playing from its first moment.
#include <gtest/gtest.h>

#include <QLabel>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "AudioFile.h"
#include "CronJobStore.h"
#include "JobDocument.h"
#include "JobTime.h"
#include "MainWndHarness.h"
#include "PulseServer.h"
#include "UiTestSupport.h"
#include "dui/DialogBuilder.h"
#include "dui/WorkQueue.h"
#include "jobs/CronJobDialog.h"
#include "levels/LevelPanel.h"

namespace zav::test {
namespace {

constexpr int kSpeed = 10;
constexpr int kRate = 44100;

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Job time: starts at `base` when made, runs kSpeed times as fast as the real time, and can be
// set forward or back.
class FastClock {
 public:
  explicit FastClock(int64_t baseSeconds) : baseMs_(baseSeconds * 1000) {}
  int64_t WallMs() const { return baseMs_ + (SteadyMs() - startMs_) * kSpeed + shiftMs_; }
  // Job seconds since the base.
  double At() const { return static_cast<double>(WallMs() - baseMs_) / 1000; }
  void Shift(int seconds) { shiftMs_ += int64_t{seconds} * 1000; }
  JobRunner::Clock ForRunner() const {
    return {[this] { return WallMs(); }, [] { return SteadyMs() * kSpeed; }, 1000 / kSpeed};
  }

 private:
  const int64_t baseMs_;
  const int64_t startMs_ = SteadyMs();
  int64_t shiftMs_ = 0;
};

class JobRecordingTest : public MainWndTestBase {
 protected:
  void TearDown() override {
    if (list) list->Close();
    MainWndTestBase::TearDown();
    server.reset();
  }

  // The job time `seconds` after the base, as typed.
  std::string TimeText(int seconds) const { return TypedTime(base + seconds); }
  static std::string TypedTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
  }
  bool WaitForJobTime(double seconds) {
    return WaitUntil([&] { return clock.At() >= seconds; }, static_cast<int>((seconds - clock.At()) * 1000 / kSpeed) + 5000);
  }
  // The state the list shows for the job numbered id, noted in seen[id] as it changes.
  void NoteStates() {
    for (int id = 1; id <= 4; ++id) {
      auto* label = qobject_cast<QLabel*>(
          FindSubControl(list->FindControl(QStringLiteral("item-%1").arg(id)), QStringLiteral("status")));
      if (!label) continue;
      const std::string state = label->text().toStdString();
      if (seen[id].empty() || seen[id].back() != state) seen[id].push_back(state);
    }
  }
  std::set<std::string> Files() const {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder())) files.insert(entry.path().filename());
    return files;
  }
  // The one file whose name begins with stem, and its length in real seconds.
  double LengthOf(const std::string& stem) const {
    std::vector<std::string> found;
    for (const std::string& name : Files()) {
      if (name.rfind(stem + "-", 0) == 0) found.push_back(name);
    }
    EXPECT_EQ(found.size(), 1u) << stem;
    if (found.size() != 1) return -1;
    const DecodedAudio audio = DecodeFile(folder() + "/" + found[0]);
    EXPECT_TRUE(audio.ok) << audio.error;
    EXPECT_GT(ToneAmplitude(audio.left, kRate, 1000, kRate / 10, audio.left.size() - kRate / 10), 0.05) << stem;
    return audio.seconds();
  }

  const std::time_t base = static_cast<std::time_t>(ParseJobTime("2031-03-01 10:00:00"));
  FastClock clock{base};
  std::unique_ptr<PulseServer> server;
  WorkQueue listDisk{"zav-test-jobs"};
  QPointer<CronJobDialog> list;
  std::map<int, std::vector<std::string>> seen;
};

TEST_F(JobRecordingTest, JobsTakeTurnsNeverCutTheUsersRecordingAndNeitherRepeatNorMissWhenTheClockMoves) {
  PulseServerOptions options;
  options.outputToneHz = 1000;
  options.keepOutputFlowing = true;
  server = std::make_unique<PulseServer>(options);
  ASSERT_TRUE(server->running()) << server->error();
  WriteSetting("audio-format", "2");  // wav: lengths to the sample
  // A (15-35 s) and B (30-50 s) overlap; the old job has no "record"; D (60-80 s) is for later.
  std::ofstream(DefaultJobFilePath()) << "{\"list\": ["
      << "{\"cronJobId\": 1, \"cronJobName\": \"课程 1/2\", \"starttime\": \"" << TimeText(15) << "\", \"endtime\": \"" << TimeText(35) << "\", \"status\": 0, \"record\": true},"
      << "{\"cronJobId\": 2, \"cronJobName\": \"B\", \"starttime\": \"" << TimeText(30) << "\", \"endtime\": \"" << TimeText(50) << "\", \"status\": 0, \"record\": true},"
      << "{\"cronJobId\": 3, \"cronJobName\": \"old\", \"starttime\": \"" << TimeText(10) << "\", \"endtime\": \"" << TimeText(40) << "\", \"status\": 0},"
      << "{\"cronJobId\": 4, \"cronJobName\": \"D\", \"starttime\": \"" << TimeText(60) << "\", \"endtime\": \"" << TimeText(80) << "\", \"status\": 0, \"record\": true}]}";
  OpenWindow(clock.ForRunner());
  list = new CronJobDialog(listDisk, &window->jobs());
  ASSERT_TRUE(list->Create(nullptr, QStringLiteral("定时任务")));
  list->ShowWindow();

  // The user records from 5 s to 25 s; A is due at 15 s and waits.
  ASSERT_TRUE(WaitForJobTime(5));
  window->StartRecording();
  ASSERT_TRUE(WaitUntil([&] { return Text("recorder-info") == QStringLiteral("正在录音"); }));
  const int64_t userStart = SteadyMs();
  while (clock.At() < 25) {
    NoteStates();
    WaitUntil([] { return false; }, 20);
  }
  window->StopRecording();
  const double userSeconds = static_cast<double>(SteadyMs() - userStart) / 1000;

  // A records the rest of its time (25-35 s), then B (35-50 s), which waited for it.
  while (clock.At() < 53) {
    NoteStates();
    WaitUntil([] { return false; }, 20);
  }
  ASSERT_TRUE(WaitUntil([&] { return window->RecorderIdle() && Files().size() == 3; })) << Files().size();
  NoteStates();
  EXPECT_NEAR(LengthOf("新录音"), userSeconds, 0.15) << "the user's recording was cut";
  EXPECT_NEAR(LengthOf("课程 1_2"), 10.0 / kSpeed, 0.25);
  EXPECT_NEAR(LengthOf("B"), 15.0 / kSpeed, 0.25);
  const std::vector<std::string> states = {"未开始", "进行中", "已完成"};
  EXPECT_EQ(seen[1], states);
  EXPECT_EQ(seen[2], states);
  // The old job's start passed: it is expired, as jobs of older copies always were.
  EXPECT_EQ(seen[3], (std::vector<std::string>{"未开始", "已失效"}));
  ASSERT_TRUE(WaitUntil([] {
    const std::vector<StoredJob> jobs = CronJobStore(DefaultJobFilePath()).Load();
    return jobs.size() == 4 && jobs[0].job.status == 1 && jobs[1].job.status == 1;
  }));
  EXPECT_EQ(CronJobStore(DefaultJobFilePath()).Load()[2].job.status, 0) << "the old job was recorded";

  // Set forward into D's time: it records the rest of it; then back before its start: it does
  // not record again.
  clock.Shift(12);
  const double jumpedTo = clock.At();
  ASSERT_GT(jumpedTo, 61);
  while (clock.At() < 82) {
    NoteStates();
    WaitUntil([] { return false; }, 20);
  }
  ASSERT_TRUE(WaitUntil([&] { return window->RecorderIdle() && Files().size() == 4; }));
  EXPECT_NEAR(LengthOf("D"), (80 - jumpedTo) / kSpeed, 0.25);
  clock.Shift(-20);  // inside D's time again
  ASSERT_TRUE(WaitForJobTime(84));
  EXPECT_EQ(Files().size(), 4u) << "a job recorded twice";
  EXPECT_TRUE(window->RecorderIdle());
  EXPECT_EQ(seen[4], states);
}

TEST_F(JobRecordingTest, AJobOfAWindowInTheTrayHearsASoundAlreadyPlayingFromItsFirstMoment) {
  // The output sink plays a tone at its default latency, rendering up to 2 s ahead, and nothing
  // reads its monitor: a reader that comes at the job's start hears it only once the block it
  // rendered ends. Read from before the start, it renders in short blocks.
  PulseServerOptions options;
  options.outputToneHz = 1000;
  server = std::make_unique<PulseServer>(options);
  ASSERT_TRUE(server->running()) << server->error();
  WriteSetting("audio-format", "2");
  WriteSetting("voice-source", "2");  // system sound
  const std::time_t start = std::time(nullptr) + 9;
  std::ofstream(DefaultJobFilePath()) << "{\"list\": [{\"cronJobId\": 1, \"cronJobName\": \"tray\", \"starttime\": \""
                                      << TypedTime(start) << "\", \"endtime\": \"" << TypedTime(start + 3)
                                      << "\", \"status\": 0, \"record\": true}]}";
  OpenWindow();
  window->hide();
  ASSERT_TRUE(WaitUntil([&] { return !window->levels().MonitorRunning(); }));

  ASSERT_TRUE(WaitUntil([&] { return window->levels().MonitorRunning().has_value(); }, 9000));
  EXPECT_LT(std::time(nullptr), start) << "the sinks were read only once the job started";
  ASSERT_TRUE(WaitUntil([&] { return Files().size() == 1 && window->RecorderIdle(); }, 15000));
  const DecodedAudio audio = DecodeFile(folder() + "/" + *Files().begin());
  ASSERT_TRUE(audio.ok) << audio.error;
  ASSERT_GT(audio.seconds(), 1.9);
  EXPECT_GT(ToneAmplitude(audio.left, kRate, 1000, 0, kRate / 10), 0.05) << "the tone was missed at the start";
  EXPECT_GT(ToneAmplitude(audio.left, kRate, 1000, audio.left.size() - kRate / 2, audio.left.size()), 0.05);
  EXPECT_TRUE(WaitUntil([&] { return !window->levels().MonitorRunning(); })) << "the capture was kept after the job";
}

}  // namespace
}  // namespace zav::test
