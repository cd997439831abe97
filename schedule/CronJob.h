#pragma once
// A scheduled job. The new-job dialog hands a new one to the job list as window message
// kNewCronJobMessage: wParam = a CronJob allocated with new, owned by the receiver from the
// moment the message arrives; lParam = 0.

#include <cstdint>
#include <string>

namespace zav {

inline constexpr unsigned kNewCronJobMessage = 1729;

struct CronJob {
  std::string cronJobName;  // UTF-8, trimmed
  std::string starttime;    // UTF-8, "YYYY-MM-DD HH:MM:SS" as typed
  std::string endtime;
  int32_t status = 0;  // 1 marks a completed job: one whose recording has ended
  // Recorded from its start to its end ("record" in the file). Jobs of files written before
  // jobs recorded lack the key and are only listed.
  bool record = false;

  bool operator==(const CronJob&) const = default;
};

// A job as the job file holds it: the job and the number it was given when it was added.
// Numbers are not unique in a hand-edited file, and a job without one reads as 0.
struct StoredJob {
  int32_t cronJobId = 0;
  CronJob job;

  bool operator==(const StoredJob&) const = default;
};

// The same job, whatever its status and recording choice say now: its number, name and times.
inline bool SameJob(const StoredJob& a, const StoredJob& b) {
  return a.cronJobId == b.cronJobId && a.job.cronJobName == b.job.cronJobName &&
         a.job.starttime == b.job.starttime && a.job.endtime == b.job.endtime;
}

}  // namespace zav
