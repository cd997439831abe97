#pragma once
// JobScheduler: which scheduled job records, decided each time the wall clock is looked at
// (about once a second). Pure logic: the caller hands it the jobs that record, the time, and
// whether the recorder is taken, and carries out what it says.
//
// A job records from its start to its end. One that could not start on time (the program was
// not running, the machine slept, another recording ran) records the rest of its span and is
// "late". Recordings never overlap: a job never interrupts a recording, so one due while the
// recorder is taken starts when it is free, if its span is not over; of two jobs due at once
// the one that starts first goes first. A job whose recording ended is done and never records
// again, whatever the clock does afterwards.
//
// Times: `now` is the wall clock (seconds since the epoch), so that a suspended machine, a
// clock that was set or a new time zone are seen at the next look; `steadyMs` is a clock that
// only goes forward, which caps a recording at the length it was planned with should the wall
// clock be set back while it runs.
//
// Not thread-safe: one thread (the window's).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "CronJob.h"
#include "JobTime.h"

namespace zav {

// A job that may record: it asks for it and is not completed. position: its place in the file.
struct RecordingJob {
  StoredJob stored;
  std::size_t position = 0;
};

// The jobs of the file that may record, in file order.
std::vector<RecordingJob> RecordingJobs(const std::vector<StoredJob>& jobs);

class JobScheduler {
 public:
  // A start that came this much after the job's start is late (said so to the user).
  static constexpr int64_t kLateAfterSeconds = 3;

  struct Start {
    RecordingJob job;
    int64_t end = 0;          // wall clock, seconds
    bool late = false;
    int64_t startedSteadyMs = 0;
    int64_t plannedMs = 0;    // how long it records, as planned at its start
  };
  struct Step {
    std::optional<StoredJob> stop;  // stop this job's recording now (its end came)
    std::optional<Start> start;     // start this job's recording now
  };

  // What to do now. busy: the recorder is taken by a recording that is not the running job's.
  Step Tick(const std::vector<RecordingJob>& jobs, int64_t now, int64_t steadyMs, bool busy);

  // The running job's recording has ended: stopped at its end, by the user or on a fault
  // (recorded true), or it did not start (false). Either way the job does not record again
  // in this run; a recorded job is done.
  void Ended(bool recorded);

  // A job records now, or one that has not recorded in this run starts within `seconds`.
  bool RecordsWithin(const std::vector<RecordingJob>& jobs, int64_t now, int64_t seconds) const;

  // The job that records (or is starting to) now.
  const std::optional<Start>& running() const { return running_; }

  // What the scheduler knows of stored beyond what the file says: it records now, it recorded
  // in this run (done), or it could not (expired). nullopt for every other job.
  std::optional<JobState> KnownState(const StoredJob& stored) const;
  // What the job list shows for stored at now.
  JobState StateOf(const StoredJob& stored, int64_t now) const;

 private:
  bool Handled(const StoredJob& stored, bool* recorded = nullptr) const;

  std::optional<Start> running_;
  bool stopAsked_ = false;
  struct Past {
    StoredJob stored;
    bool recorded = false;
  };
  std::vector<Past> past_;  // jobs that recorded, or failed to, in this run
};

}  // namespace zav
