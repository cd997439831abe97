// The job store on real files: numbering, the exact bytes written, job states, and no lost
// jobs when the file is broken or a write does not get through.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "CoreTestSupport.h"
#include "CronJobStore.h"
#include "JobDocument.h"
#include "JobTime.h"

namespace zav {
namespace {

namespace fs = std::filesystem;

CronJob Job(std::string name, std::string start = "2037-12-31 09:30:00", std::string end = "2037-12-31 10:30:00") {
  return {std::move(name), std::move(start), std::move(end), 0};
}

class JobStoreTest : public ::testing::Test {
 protected:
  std::vector<StoredJob> Reopen() { return CronJobStore(path_).Load(); }

  std::vector<fs::path> KeptAside() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(data_.path())) {
      if (entry.path().filename().string().starts_with("cron.json.broken-")) found.push_back(entry.path());
    }
    return found;
  }

  test::TempFolder data_;
  const std::string path_ = (data_.path() / kJobFileName).string();
};

TEST_F(JobStoreTest, FirstJobOfAnEmptyStoreIsNumberOneWithStatusZeroAndNotStarted) {
  CronJobStore store(path_);
  EXPECT_TRUE(store.Load().empty());
  const CronJobStore::Added added = store.Add(Job("a"));
  EXPECT_EQ(added.cronJobId, 1);
  EXPECT_TRUE(added.written);

  const std::vector<StoredJob> jobs = Reopen();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].cronJobId, 1);
  EXPECT_EQ(jobs[0].job.status, 0);
  EXPECT_STREQ(JobStateText(WorkOutJobState(jobs[0].job.status, jobs[0].job.starttime, NowSeconds())), "未开始");
}

TEST_F(JobStoreTest, WritesStyledJsonWithKeysInOrderAndChineseAsEscapes) {
  CronJobStore store(path_);
  store.Add(Job("每周例会", "2024-05-01 09:30:00", "2024-05-01 10:30:00"));
  store.Add(Job("b"));
  EXPECT_EQ(test::ReadFile(path_),
            "{\n"
            "   \"list\" : [\n"
            "      {\n"
            "         \"cronJobId\" : 1,\n"
            "         \"cronJobName\" : \"\\u6bcf\\u5468\\u4f8b\\u4f1a\",\n"
            "         \"endtime\" : \"2024-05-01 10:30:00\",\n"
            "         \"starttime\" : \"2024-05-01 09:30:00\",\n"
            "         \"status\" : 0\n"
            "      },\n"
            "      {\n"
            "         \"cronJobId\" : 2,\n"
            "         \"cronJobName\" : \"b\",\n"
            "         \"endtime\" : \"2037-12-31 10:30:00\",\n"
            "         \"starttime\" : \"2037-12-31 09:30:00\",\n"
            "         \"status\" : 0\n"
            "      }\n"
            "   ]\n"
            "}\n");
  EXPECT_EQ(Reopen()[0].job.cronJobName, "每周例会");
}

TEST_F(JobStoreTest, NumbersFollowTheLastJobOfTheFileAndAreNotReusedWithinAnOpening) {
  {
    CronJobStore store(path_);
    for (const char* name : {"a", "b", "c"}) store.Add(Job(name));
    EXPECT_TRUE(store.Remove({3, Job("c")}, 2));
  }
  CronJobStore reopened(path_);
  ASSERT_EQ(reopened.Load().size(), 2u);
  EXPECT_EQ(reopened.Add(Job("d")).cronJobId, 3);

  // Clearing keeps the count of this opening; a new opening without a file starts over.
  EXPECT_TRUE(reopened.Clear());
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(reopened.Add(Job("e")).cronJobId, 4);
  EXPECT_TRUE(reopened.Clear());
  CronJobStore fresh(path_);
  EXPECT_TRUE(fresh.Load().empty());
  EXPECT_EQ(fresh.Add(Job("f")).cronJobId, 1);
}

TEST_F(JobStoreTest, MissingOrMistypedMembersReadAsZeroOrEmpty) {
  test::WriteFile(path_, R"({"list": [{"cronJobId": 8, "cronJobName": "x"},
                                     {"cronJobId": "9", "cronJobName": 5, "status": [1]}, 3]})");
  CronJobStore store(path_);
  const std::vector<StoredJob> jobs = store.Load();
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[0].cronJobId, 8);
  EXPECT_EQ(jobs[0].job.cronJobName, "x");
  EXPECT_EQ(jobs[0].job.starttime, "");
  EXPECT_EQ(jobs[1].cronJobId, 0);
  EXPECT_EQ(jobs[1].job.cronJobName, "");
  EXPECT_EQ(jobs[1].job.status, 0);
  EXPECT_EQ(store.lastCronJobId(), 0);
}

TEST_F(JobStoreTest, AHandEditedFileWithCommentsKeepsEveryJobWhenAJobIsAdded) {
  test::WriteFile(path_, "{\"list\": [{\"cronJobId\": 1}, // first job   \n"
                         "{\"cronJobId\": 2} /* second */ ]}\n// end   \n");
  CronJobStore store(path_);
  ASSERT_EQ(store.Load().size(), 2u);
  EXPECT_EQ(store.Add(Job("c")).cronJobId, 3);
  const std::vector<StoredJob> jobs = Reopen();
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[1].cronJobId, 2);
  EXPECT_TRUE(KeptAside().empty());
}

TEST_F(JobStoreTest, ABrokenFileIsKeptAsideBeforeTheNextAddStartsAFreshOne) {
  const std::string broken = "{\"list\": [ {\"cronJobId\": 4, \"cronJobName\": \"\\u4f1a";
  test::WriteFile(path_, broken);
  CronJobStore store(path_);
  EXPECT_TRUE(store.Load().empty());
  EXPECT_EQ(store.Add(Job("a")).cronJobId, 1);
  ASSERT_EQ(Reopen().size(), 1u);
  ASSERT_EQ(KeptAside().size(), 1u);
  EXPECT_EQ(test::ReadFile(KeptAside()[0]), broken);

  // A second broken file in the same second does not overwrite the first one kept aside.
  test::WriteFile(path_, R"({"list": {"not": "an array"}})");
  EXPECT_TRUE(store.Add(Job("b")).written);
  EXPECT_EQ(KeptAside().size(), 2u);
  EXPECT_EQ(Reopen().size(), 1u);

  // Clearing does not throw a broken file away either.
  const std::string unreadable = "{\"list\": [ {\"cronJobId\": 9";
  test::WriteFile(path_, unreadable);
  EXPECT_TRUE(store.Clear());
  EXPECT_FALSE(fs::exists(path_));
  ASSERT_EQ(KeptAside().size(), 3u);
  int withText = 0;
  for (const fs::path& aside : KeptAside()) withText += test::ReadFile(aside) == unreadable;
  EXPECT_EQ(withText, 1);
}

TEST_F(JobStoreTest, ANewJobNeverTakesTheNumberOfAStoredJob) {
  // The number after the last job's is taken when it is free...
  test::WriteFile(path_, R"({"list": [{"cronJobId": 5}, {"cronJobId": 1}]})");
  CronJobStore store(path_);
  ASSERT_EQ(store.Load().size(), 2u);
  EXPECT_EQ(store.Add(Job("a")).cronJobId, 2);
  // ...and when a stored job has it, the next free one.
  test::WriteFile(path_, R"({"list": [{"cronJobId": 2}, {"cronJobId": 3}, {"cronJobId": 1}]})");
  CronJobStore reordered(path_);
  ASSERT_EQ(reordered.Load().size(), 3u);
  EXPECT_EQ(reordered.Add(Job("b")).cronJobId, 4);
  EXPECT_EQ(reordered.Add(Job("c")).cronJobId, 5);
  // Jobs without a number read as 0, which is never given.
  test::WriteFile(path_, R"({"list": [{"cronJobName": "x"}, {"cronJobId": -1}]})");
  CronJobStore unnumbered(path_);
  ASSERT_EQ(unnumbered.Load().size(), 2u);
  EXPECT_EQ(unnumbered.Add(Job("d")).cronJobId, 1);
  std::vector<int32_t> ids;
  for (const StoredJob& job : Reopen()) ids.push_back(job.cronJobId);
  EXPECT_EQ(ids, (std::vector<int32_t>{0, -1, 1}));
}

TEST_F(JobStoreTest, AWriteThatDoesNotReachTheRenameLeavesTheOldFileIntact) {
  CronJobStore store(path_);
  store.Add(Job("a"));
  store.Add(Job("b"));
  const std::string before = test::ReadFile(path_);
  // The temporary file cannot be made, as when the program dies or the disk fills up first.
  fs::create_directory(path_ + ".tmp");
  EXPECT_FALSE(store.Remove({1, Job("a")}, 0));
  EXPECT_FALSE(store.Add(Job("c")).written);
  EXPECT_EQ(test::ReadFile(path_), before);

  fs::remove(path_ + ".tmp");
  EXPECT_TRUE(store.Remove({1, Job("a")}, 0));
  const std::vector<StoredJob> jobs = Reopen();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].cronJobId, 2);
}

TEST(JobTimeTest, AStartEqualToNowIsNotStartedAndOneSecondEarlierIsExpired) {
  const char* start = "2024-05-01 09:30:00";
  const auto s = ParseJobTime(start);
  EXPECT_EQ(WorkOutJobState(0, start, s), JobState::kNotStarted);
  EXPECT_EQ(WorkOutJobState(0, start, s + 1), JobState::kExpired);
  EXPECT_EQ(WorkOutJobState(7, start, s + 1), JobState::kExpired);
  EXPECT_EQ(WorkOutJobState(1, start, s + 1), JobState::kDone);
  EXPECT_EQ(WorkOutJobState(1, start, s - 1), JobState::kDone);
  EXPECT_STREQ(JobStateText(JobState::kDone), "已完成");
  EXPECT_STREQ(JobStateText(JobState::kExpired), "已失效");
  // Too short to read: shown as not started rather than a state worked out from garbage.
  EXPECT_EQ(WorkOutJobState(0, "2024-05-01", s + 1), JobState::kNotStarted);
  EXPECT_EQ(WorkOutJobState(0, "", s + 1), JobState::kNotStarted);
}

TEST(JobTimeTest, TimesAfter2038AreReadComparedAndCheckedInFull) {
  const auto now = NowSeconds();
  EXPECT_EQ(WorkOutJobState(0, "2039-01-01 00:00:00", now), JobState::kNotStarted);
  EXPECT_EQ(WorkOutJobState(0, "2099-06-01 12:00:00", now), JobState::kNotStarted);
  EXPECT_TRUE(IsValidJobPeriod("2037-12-31 10:00:00", "2038-02-01 00:00:00"));
  EXPECT_TRUE(IsValidJobPeriod("2038-01-19 03:14:07", "2038-01-19 03:14:09"));
  EXPECT_FALSE(IsValidJobPeriod("2040-01-01 00:00:00", "2039-12-31 23:59:59"));
  // A clock past 2038 still sees a job of 2039 as ahead and one of 2038 as past.
  const auto in2039 = ParseJobTime("2039-01-01 00:00:00");
  EXPECT_GT(in2039, ParseJobTime("2038-12-31 23:59:59"));
  EXPECT_EQ(WorkOutJobState(0, "2039-06-01 00:00:00", in2039), JobState::kNotStarted);
  EXPECT_EQ(WorkOutJobState(0, "2038-06-01 00:00:00", in2039), JobState::kExpired);
}

TEST(JobTimeTest, FieldsAreReadAtFixedPositionsAndCarryOver) {
  {
    test::ScopedEnv utc("TZ", "UTC0");
    ::tzset();
    EXPECT_EQ(ParseJobTime("2024-05-01 09:30:00"), 1714555800);
    // An eighteen-character text with a one-digit month is read as 1 May 2024 09:00:00.
    EXPECT_EQ(ParseJobTime("2024-5-01 09:30:00"), 1714554000);
  }
  ::tzset();
  EXPECT_EQ(ParseJobTime("2024-12-32 00:00:60"), ParseJobTime("2025-01-01 00:01:00"));
  EXPECT_FALSE(IsValidJobPeriod("2024-05-01 09:30:00", "2024-05-01 09:30:00"));
  EXPECT_TRUE(IsValidJobPeriod("2024-05-01 09:30:00", "2024-05-01 09:30:01"));
  EXPECT_FALSE(IsValidJobPeriod("", "2024-05-01 09:30:01"));
}

}  // namespace
}  // namespace zav
