// Jobs that record, decided against a clock the test sets: who records when, late starts, the
// recorder taken by the user, clocks set back and forward, time zones; and the job file's new
// key, which older files lack.
#include <gtest/gtest.h>

#include <ctime>

#include "CoreTestSupport.h"
#include "CronJobStore.h"
#include "JobDocument.h"
#include "JobScheduler.h"

namespace zav {
namespace {

// The job times are read in UTC here, so that the test's seconds are the file's.
class JobSchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override { InZone("UTC0"); }
  void TearDown() override {
    zone_.reset();
    ::tzset();
  }
  void InZone(const char* tz) {
    zone_.reset();  // the outer value comes back first
    zone_ = std::make_unique<test::ScopedEnv>("TZ", tz);
    ::tzset();
  }

  // A job at seconds from..to after 2030-01-01 00:00:00.
  static StoredJob At(int32_t id, int from, int to, bool record = true, int32_t status = 0) {
    return {id, {"job" + std::to_string(id), Text(from), Text(to), status, record}};
  }
  static std::string Text(int offset) {
    const std::time_t t = kBase + offset;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
  }
  static constexpr int64_t kBase = 1893456000;  // 2030-01-01 00:00:00 UTC

  // One look at the clock, `at` seconds after the base; steady time follows the wall clock
  // unless given.
  JobScheduler::Step Tick(int at, bool busy = false, std::optional<int64_t> steadyMs = std::nullopt) {
    return scheduler.Tick(RecordingJobs(jobs), kBase + at, steadyMs.value_or(int64_t{at} * 1000), busy);
  }
  JobState State(const StoredJob& job, int at) const { return scheduler.StateOf(job, kBase + at); }

  std::unique_ptr<test::ScopedEnv> zone_;
  std::vector<StoredJob> jobs;
  JobScheduler scheduler;
};

TEST_F(JobSchedulerTest, OverlappingJobsTakeTurnsOldJobsNeverRecordAndLateStartsRecordTheRest) {
  const StoredJob a = At(1, 100, 200), b = At(2, 150, 300), old = At(3, 120, 180, false), done = At(4, 0, 900, true, 1);
  jobs = {old, b, a, done};
  // Five seconds before a start, and while a job records, the capture is kept ready.
  const auto ahead = [&](int at) { return scheduler.RecordsWithin(RecordingJobs(jobs), kBase + at, 5); };
  EXPECT_FALSE(ahead(94));
  EXPECT_TRUE(ahead(95));
  EXPECT_FALSE(Tick(99).start);
  EXPECT_EQ(State(a, 99), JobState::kNotStarted);

  JobScheduler::Step step = Tick(100);
  ASSERT_TRUE(step.start);
  EXPECT_TRUE(SameJob(step.start->job.stored, a));
  EXPECT_EQ(step.start->job.position, 2u);
  EXPECT_FALSE(step.start->late);
  EXPECT_EQ(step.start->end, kBase + 200);
  EXPECT_EQ(State(a, 100), JobState::kRecording);
  EXPECT_TRUE(ahead(160));

  // b is due, but a records: b waits; the old job and the completed one are never started.
  for (int t = 101; t < 200; ++t) {
    step = Tick(t, true);
    ASSERT_FALSE(step.start || step.stop) << t;
  }
  EXPECT_EQ(State(old, 150), JobState::kExpired);
  EXPECT_EQ(State(b, 199), JobState::kNotStarted);
  step = Tick(200, true);
  ASSERT_TRUE(step.stop);
  EXPECT_TRUE(SameJob(*step.stop, a));
  EXPECT_FALSE(Tick(200, true).stop) << "a stop is asked once";
  scheduler.Ended(true);
  EXPECT_EQ(State(a, 200), JobState::kDone);

  step = Tick(201);
  ASSERT_TRUE(step.start);
  EXPECT_TRUE(SameJob(step.start->job.stored, b));
  EXPECT_TRUE(step.start->late);
  EXPECT_EQ(step.start->plannedMs, 99000);
  // The user stops b early: it is done all the same and never starts again.
  scheduler.Ended(true);
  for (int t = 202; t < 400; ++t) ASSERT_FALSE(Tick(t).start) << t;
  EXPECT_EQ(State(b, 250), JobState::kDone);

  // A job due while the user records starts when the user stops, if its span is not over; one
  // whose span passed meanwhile is expired.
  const StoredJob c = At(5, 400, 500), missed = At(6, 410, 420);
  jobs.push_back(c);
  jobs.push_back(missed);
  for (int t = 400; t < 450; ++t) ASSERT_FALSE(Tick(t, true).start) << t;
  step = Tick(450);
  ASSERT_TRUE(step.start);
  EXPECT_TRUE(SameJob(step.start->job.stored, c));
  EXPECT_TRUE(step.start->late);
  EXPECT_TRUE(Tick(500).stop);
  scheduler.Ended(true);
  EXPECT_EQ(State(missed, 500), JobState::kExpired);
  // A job that could not start is not tried again in this run.
  jobs = {At(7, 600, 700)};
  ASSERT_TRUE(Tick(600).start);
  scheduler.Ended(false);
  EXPECT_FALSE(Tick(601).start);
  EXPECT_FALSE(ahead(598)) << "a job that was handled is not ahead";
  EXPECT_EQ(State(jobs[0], 601), JobState::kExpired);
}

TEST_F(JobSchedulerTest, AClockSetBackOrForwardNeitherRepeatsAJobNorMissesOne) {
  const StoredJob a = At(1, 100, 110), b = At(2, 1000, 1100), c = At(3, 3000, 3010);
  jobs = {a, b, c};
  ASSERT_TRUE(Tick(100).start);
  ASSERT_TRUE(Tick(110).stop);
  scheduler.Ended(true);
  // Set back to before a's start: a has recorded and does not again.
  for (int t = 50; t < 120; ++t) ASSERT_FALSE(Tick(t).start) << t;

  // Set forward into b's span (a machine that slept through its start): b records the rest.
  JobScheduler::Step step = Tick(1050, false, 120000);
  ASSERT_TRUE(step.start);
  EXPECT_TRUE(step.start->late);
  // Forward again past its end: it stops at once.
  ASSERT_TRUE(Tick(2000, false, 121000).stop);
  scheduler.Ended(true);

  // Set back while c records: it ends after the length it was planned with.
  ASSERT_TRUE(Tick(3000, false, 200000).start);
  EXPECT_FALSE(Tick(2000, false, 205000).stop);
  EXPECT_TRUE(Tick(2005, false, 210000).stop);
}

TEST_F(JobSchedulerTest, JobTimesAreTheWallClocksOfTheirPlaceDaylightSavingIncluded) {
  // 14:00 on a summer day in Central Europe is 12:00 UTC.
  InZone("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(ParseJobTime("2024-07-01 14:00:00"), 1719835200);
  EXPECT_EQ(ParseJobTime("2024-01-15 14:00:00"), 1705323600);
  // A new time zone moves a job that has not started: it is looked at afresh at each tick.
  jobs = {At(1, 7200, 7260)};  // 02:00 as typed
  InZone("UTC0");
  EXPECT_FALSE(Tick(3600).start);
  InZone("CET-1");  // 02:00 here is 01:00 UTC
  EXPECT_TRUE(Tick(3600).start);
}

TEST(JobFileTest, OnlyJobsThatRecordCarryTheNewKeyAndChangesKeepWhatThisProgramDoesNotKnow) {
  test::TempFolder data;
  const std::string path = (data.path() / kJobFileName).string();
  // A file of an older copy: its jobs are only listed.
  test::WriteFile(path, R"({"list": [{"cronJobId": 1, "cronJobName": "old", "starttime": "2030-01-01 10:00:00",
                                     "endtime": "2030-01-01 11:00:00", "status": 0, "colour": "red"}]})");
  CronJobStore store(path);
  std::vector<StoredJob> jobs = store.Load();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_FALSE(jobs[0].job.record);
  EXPECT_TRUE(RecordingJobs(jobs).empty());

  CronJob lecture{"lecture", "2030-01-02 14:00:00", "2030-01-02 15:30:00", 0, true};
  ASSERT_TRUE(store.Add(lecture).written);
  ASSERT_TRUE(store.SetRecord(jobs[0], 0, true));
  jobs = store.Load();
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_TRUE(jobs[0].job.record && jobs[1].job.record);
  ASSERT_EQ(RecordingJobs(jobs).size(), 2u);
  EXPECT_EQ(RecordingJobs(jobs)[1].position, 1u);

  // Done: status 1, found by its number, name and times whatever else changed meanwhile.
  StoredJob asListed = jobs[1];
  asListed.job.record = false;
  ASSERT_TRUE(store.MarkDone(asListed, 1));
  ASSERT_TRUE(store.SetRecord(jobs[0], 0, false));
  const std::string text = test::ReadFile(path);
  EXPECT_NE(text.find("\"colour\" : \"red\""), std::string::npos) << text;
  jobs = store.Load();
  EXPECT_FALSE(jobs[0].job.record);
  EXPECT_EQ(text.find("\"record\" : false"), std::string::npos) << "a job that does not record has no key";
  EXPECT_EQ(jobs[1].job.status, 1);
  EXPECT_TRUE(RecordingJobs(jobs).empty());
}

}  // namespace
}  // namespace zav
