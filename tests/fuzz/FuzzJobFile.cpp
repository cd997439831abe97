// The job file from outside (hand-edited or damaged cron.json): reading it never crashes,
// the file store reads what the text reader reads, and adding then removing a job keeps every
// job that was there. Files go only to a temporary Data folder made at start-up.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "CronJobStore.h"
#include "JobDocument.h"
#include "TextUtil.h"

namespace {

std::string& JobFilePath() {
  static std::string path;
  return path;
}

// The first count jobs of readBack are those of original.
bool SameJobs(const std::vector<zav::StoredJob>& original, const std::vector<zav::StoredJob>& readBack,
              std::size_t count) {
  if (original.size() < count || readBack.size() < count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const zav::StoredJob& was = original[i];
    const zav::StoredJob& is = readBack[i];
    if (was.cronJobId != is.cronJobId || was.job.status != is.job.status) return false;
    // The writer replaces malformed UTF-8, so only well-formed texts must come back as they were.
    if (zav::IsValidUtf8(was.job.cronJobName) && was.job.cronJobName != is.job.cronJobName) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string root = (std::filesystem::temp_directory_path() / "zav-fuzz-jobs-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) std::abort();
  ::setenv("HOME", root.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
  JobFilePath() = zav::DefaultJobFilePath();
  // The folder goes when the run ends (libFuzzer leaves through exit()).
  static const std::string kRoot = root;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(kRoot, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::vector<zav::StoredJob>> jobs = zav::ReadJobDocument(text);

  // A new file rather than a truncated one: ext4 flushes a truncated file's data on close.
  ::unlink(JobFilePath().c_str());
  std::ofstream(JobFilePath(), std::ios::binary) << text;
  const std::vector<zav::StoredJob> loaded = zav::CronJobStore(JobFilePath()).Load();
  const std::vector<zav::StoredJob> expected = jobs.value_or(std::vector<zav::StoredJob>{});
  if (!SameJobs(loaded, expected, expected.size()) || loaded.size() != expected.size()) std::abort();

  const zav::CronJob job{"新 job", "2024-05-01 09:30:00", "", 0};
  const std::optional<zav::AppendedJob> appended = zav::AppendJob(text, 2147483647, job);
  if (appended.has_value() != jobs.has_value()) std::abort();
  if (!appended) return 0;
  const zav::StoredJob added{appended->cronJobId, job};
  const std::optional<std::vector<zav::StoredJob>> after = zav::ReadJobDocument(appended->text);
  if (!after || after->size() != jobs->size() + 1 || !SameJobs(*jobs, *after, jobs->size()) ||
      !SameJobs({added}, {after->back()}, 1)) {
    std::abort();
  }
  for (const zav::StoredJob& stored : *jobs) {
    if (stored.cronJobId == added.cronJobId) std::abort();  // a new job's number is its own
  }
  const std::optional<std::string> removed = zav::RemoveJob(appended->text, jobs->size(), added);
  if (!removed) std::abort();
  const std::optional<std::vector<zav::StoredJob>> back = zav::ReadJobDocument(*removed);
  if (!back || back->size() != jobs->size() || !SameJobs(*jobs, *back, jobs->size())) std::abort();
  return 0;
}
