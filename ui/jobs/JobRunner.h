#pragma once
// JobRunner: records the scheduled jobs that ask for it, for as long as the program runs. Once a
// second it looks at the wall clock and asks the scheduler (JobScheduler) what to do, then
// starts or stops the job's recording through the JobRecorder, the one the window's buttons
// use. The job file is looked at on the disk worker at every look and read again when it
// changed (the job list or a hand edit); a job whose recording ended is marked done in it.
// The job list asks it what each job shows and hears when that changes.
//
// UI thread only.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "JobScheduler.h"

namespace zav {

class JobRecorder;
class WorkQueue;

class JobRunner : public QObject {
  Q_OBJECT

 public:
  // What the runner goes by: the wall clock, a clock that only goes forward, and how often it
  // looks. Tests give it a faster one.
  struct Clock {
    std::function<int64_t()> wallMs;    // milliseconds since the epoch
    std::function<int64_t()> steadyMs;
    int everyMs = 1000;
  };
  static Clock SystemClock();
  // How long before a job's start JobAhead says so.
  static constexpr int64_t kAheadSeconds = 5;

  // recorder and disk outlive the runner. jobFilePath: empty for the user's job file, worked
  // out on the worker.
  JobRunner(JobRecorder& recorder, WorkQueue& disk, std::string jobFilePath = {}, Clock clock = SystemClock());
  ~JobRunner() override;

  // Reads the job file and starts looking at the clock.
  void Begin();
  // No job starts from now on (the program is closing); a job's recording that runs still
  // reports its end, and is marked done.
  void Halt() { timer_.stop(); }

  // What the runner knows of stored beyond what the file says: it records now, it recorded in
  // this run, or it could not. nullopt for every other job.
  std::optional<JobState> KnownState(const StoredJob& stored) const;
  // The time the runner goes by, in seconds since the epoch.
  int64_t Now() const;

 signals:
  // A job started or ended recording.
  void StatesChanged();
  // A job records, or starts within kAheadSeconds (true); neither any more (false). While it is
  // true the capture can be kept ready, so that the job's recording hears the sinks from its
  // first moment.
  void JobAhead(bool ahead);

 private:
  void Look();
  void LookAtFile();
  void Act(const JobScheduler::Step& step);
  void OnEnded(const RecordingJob& job, bool recorded);
  void TellAhead();

  JobRecorder& recorder_;
  WorkQueue& disk_;
  const std::string path_;
  const Clock clock_;
  QTimer timer_;
  JobScheduler scheduler_;
  std::vector<RecordingJob> jobs_;
  bool loaded_ = false;
  bool looking_ = false;  // a look at the file is under way
  // What the file was when last read (modification time, size, inode); empty before.
  std::string fileStamp_;
  uint64_t recording_ = 0;  // the running job's recording, as the recorder numbered it
  bool ahead_ = false;      // as JobAhead last said
};

}  // namespace zav
