#pragma once
// CronJobStore: the job file "cron.json" in the per-user Data folder, read and written whole.
// Every write goes to a temporary file that is then renamed over the job file, so a crash or
// a full disk leaves either the old jobs or the new ones, never none. A job file that is not a
// job document is renamed aside ("cron.json.broken-<local time>") before a new one starts or
// the jobs are cleared.
//
// Not thread-safe: one thread at a time. Only this store writes the file, so it takes no lock.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CronJob.h"

namespace zav {

inline constexpr char kJobFileName[] = "cron.json";

// The Data folder (created when missing) + "/cron.json".
std::string DefaultJobFilePath();

class CronJobStore {
 public:
  explicit CronJobStore(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  // The number given to the last job added, or read from the last job of the file by Load.
  int32_t lastCronJobId() const { return lastCronJobId_; }

  // The jobs in file order: none when the file is missing, empty, unreadable or not a job
  // document. lastCronJobId becomes the last job's number (when there is one).
  std::vector<StoredJob> Load();

  struct Added {
    int32_t cronJobId;
    bool written;  // false: the file could not be written; the number stays used up
  };
  // Stores job with the next number after lastCronJobId, or, when a stored job already has
  // that one, the next free number. A file that exists but cannot be read is left alone and
  // nothing is written.
  Added Add(const CronJob& job);

  // Removes job, the one at position in file order (see RemoveJob). True when the file no
  // longer holds it (also when it never did); false when the new file could not be written,
  // the old one then stays.
  bool Remove(const StoredJob& job, std::size_t position);

  // Marks job (found as Remove finds it) completed, or sets whether it is recorded. True when
  // the file says so now (or no longer holds the job); false when it could not be written.
  bool MarkDone(const StoredJob& job, std::size_t position);
  bool SetRecord(const StoredJob& job, std::size_t position, bool record);

  // Deletes the job file; a file that is not a job document (or cannot be read) is kept aside
  // instead. lastCronJobId keeps its value. False when the file is still there.
  bool Clear();

 private:
  bool KeepAside();
  // Rewrites the file with change(text) when the file is a job document; see MarkDone.
  template <typename Change>
  bool Rewrite(Change change);

  std::string path_;
  int32_t lastCronJobId_ = 0;
};

}  // namespace zav
