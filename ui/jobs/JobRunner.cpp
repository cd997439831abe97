#include "JobRunner.h"

#include <glog/logging.h>
#include <sys/stat.h>

#include <QPointer>

#include <cerrno>
#include <chrono>
#include <utility>

#include "CronJobStore.h"
#include "JobRecorder.h"
#include "RecordingName.h"
#include "dui/WorkQueue.h"

namespace zav {
namespace {

// What the job file is now: changes with every write (a new file is renamed into place) and
// every hand edit. "missing" when there is none.
std::string FileStamp(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? "missing" : "unreadable";
  return std::to_string(info.st_ino) + ":" + std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) +
         "." + std::to_string(info.st_mtim.tv_nsec);
}

struct FileLook {
  std::string stamp;
  std::optional<std::vector<RecordingJob>> jobs;  // read again: the file changed
};

}  // namespace

JobRunner::Clock JobRunner::SystemClock() {
  using namespace std::chrono;
  return {[] { return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count(); },
          [] { return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count(); }, 1000};
}

JobRunner::JobRunner(JobRecorder& recorder, WorkQueue& disk, std::string jobFilePath, Clock clock)
    : recorder_(recorder), disk_(disk), path_(std::move(jobFilePath)), clock_(std::move(clock)) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(clock_.everyMs);
  connect(&timer_, &QTimer::timeout, this, &JobRunner::Look);
}

JobRunner::~JobRunner() = default;

void JobRunner::Begin() {
  LookAtFile();
  timer_.start();
}

int64_t JobRunner::Now() const { return clock_.wallMs() / 1000; }

std::optional<JobState> JobRunner::KnownState(const StoredJob& stored) const { return scheduler_.KnownState(stored); }

void JobRunner::Look() {
  // The jobs as last read: a change comes in with the look that follows.
  if (loaded_) Act(scheduler_.Tick(jobs_, Now(), clock_.steadyMs(), !recorder_.IsIdle()));
  TellAhead();
  LookAtFile();
}

void JobRunner::TellAhead() {
  const bool ahead = loaded_ && scheduler_.RecordsWithin(jobs_, Now(), kAheadSeconds);
  if (ahead == ahead_) return;
  ahead_ = ahead;
  emit JobAhead(ahead);
}

void JobRunner::LookAtFile() {
  if (looking_) return;
  looking_ = true;
  disk_.Run(
      this,
      [path = path_, known = fileStamp_] {
        const std::string file = path.empty() ? DefaultJobFilePath() : path;
        FileLook look{FileStamp(file), std::nullopt};
        if (look.stamp != known) look.jobs = RecordingJobs(CronJobStore(file).Load());
        return look;
      },
      [this](FileLook& look) {
        looking_ = false;
        if (look.jobs) {
          jobs_ = std::move(*look.jobs);
          fileStamp_ = look.stamp;
        }
        if (!loaded_) {
          loaded_ = true;
          Look();  // a job inside its span when the program starts records the rest at once
        }
      });
}

void JobRunner::Act(const JobScheduler::Step& step) {
  if (step.stop) {
    LOG(INFO) << "scheduled job " << step.stop->job.cronJobName << ": its end has come";
    recorder_.StopJob(recording_);
  }
  if (!step.start) return;
  const RecordingJob job = step.start->job;
  const CronJob& cron = job.stored.job;
  LOG(INFO) << "scheduled job " << cron.cronJobName << " records until " << cron.endtime
            << (step.start->late ? " (it started late: the rest of its time)" : "");
  JobRecording recording;
  recording.fileStem = FileStemOf(cron.cronJobName);
  recording.jobName = QString::fromStdString(cron.cronJobName);
  recording.jobEnd = QString::fromStdString(cron.endtime);
  recording.late = step.start->late;
  // The recorder may report the end after the runner has gone (the window closing).
  recording.ended = [runner = QPointer<JobRunner>(this), job](bool recorded) {
    if (runner) runner->OnEnded(job, recorded);
  };
  recording_ = recorder_.StartJob(std::move(recording));
  if (recording_ == 0) scheduler_.Ended(false);
  emit StatesChanged();
}

void JobRunner::OnEnded(const RecordingJob& job, bool recorded) {
  recording_ = 0;
  scheduler_.Ended(recorded);
  LOG(INFO) << "scheduled job " << job.stored.job.cronJobName << (recorded ? " recorded" : " could not record");
  if (recorded) {
    disk_.Post([path = path_, job] {
      CronJobStore store(path.empty() ? DefaultJobFilePath() : path);
      if (!store.MarkDone(job.stored, job.position))
        LOG(ERROR) << "job file: cannot mark " << job.stored.job.cronJobName << " done";
    });
  }
  TellAhead();
  emit StatesChanged();
}

}  // namespace zav
