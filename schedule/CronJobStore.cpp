#include "CronJobStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>

#include "AtomicFile.h"
#include "JobDocument.h"
#include "UserFolders.h"

namespace zav {
namespace {

// How many names with a counter are tried when a kept-aside name of this second is taken.
constexpr int kAsideNameTries = 100;

}  // namespace

std::string DefaultJobFilePath() { return GetUserFolder(kDataSubFolder) + "/" + kJobFileName; }

std::vector<StoredJob> CronJobStore::Load() {
  std::string text;
  if (ReadWholeFile(path_, &text) != ReadResult::kOk) return {};
  std::optional<std::vector<StoredJob>> jobs = ReadJobDocument(text);
  if (!jobs) return {};
  if (!jobs->empty()) lastCronJobId_ = jobs->back().cronJobId;
  return std::move(*jobs);
}

CronJobStore::Added CronJobStore::Add(const CronJob& job) {
  std::string text;
  const ReadResult read = ReadWholeFile(path_, &text);
  const int32_t wanted = NextJobId(lastCronJobId_);
  if (read == ReadResult::kFailed) {
    lastCronJobId_ = wanted;
    return {wanted, false};
  }
  std::optional<AppendedJob> appended = AppendJob(text, wanted, job);
  if (!appended) {
    if (!KeepAside()) {
      lastCronJobId_ = wanted;
      return {wanted, false};
    }
    appended = AppendJob({}, wanted, job);
  }
  lastCronJobId_ = appended->cronJobId;
  return {appended->cronJobId, ReplaceFileAtomically(path_, appended->text)};
}

template <typename Change>
bool CronJobStore::Rewrite(Change change) {
  std::string text;
  switch (ReadWholeFile(path_, &text)) {
    case ReadResult::kMissing: return true;
    case ReadResult::kFailed: return false;
    case ReadResult::kOk: break;
  }
  if (text.empty()) return true;
  const std::optional<std::string> updated = change(text);
  // A file that is not a job document holds no job to change; it is left as it is.
  if (!updated) return true;
  return ReplaceFileAtomically(path_, *updated);
}

bool CronJobStore::Remove(const StoredJob& job, std::size_t position) {
  return Rewrite([&](const std::string& text) { return RemoveJob(text, position, job); });
}

bool CronJobStore::MarkDone(const StoredJob& job, std::size_t position) {
  return Rewrite([&](const std::string& text) { return MarkJobDone(text, position, job); });
}

bool CronJobStore::SetRecord(const StoredJob& job, std::size_t position, bool record) {
  return Rewrite([&](const std::string& text) { return SetJobRecord(text, position, job, record); });
}

bool CronJobStore::Clear() {
  std::string text;
  switch (ReadWholeFile(path_, &text)) {
    case ReadResult::kMissing: return true;
    case ReadResult::kFailed: return KeepAside();  // what it holds cannot be checked, so it is kept
    case ReadResult::kOk: break;
  }
  if (!ReadJobDocument(text)) return KeepAside();
  return ::unlink(path_.c_str()) == 0 || errno == ENOENT;
}

bool CronJobStore::KeepAside() {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!::localtime_r(&now, &local) || std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local) == 0) {
    stamp[0] = '\0';
  }
  const std::string base = path_ + ".broken-" + stamp;
  for (int n = 0; n < kAsideNameTries; ++n) {
    const std::string aside = n == 0 ? base : base + "-" + std::to_string(n);
    struct stat info {};
    if (::lstat(aside.c_str(), &info) == 0) continue;  // an older broken file keeps its name
    return ::rename(path_.c_str(), aside.c_str()) == 0;
  }
  return false;
}

}  // namespace zav
