#include "JobScheduler.h"

#include <algorithm>

namespace zav {

std::vector<RecordingJob> RecordingJobs(const std::vector<StoredJob>& jobs) {
  std::vector<RecordingJob> recording;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (jobs[i].job.record && jobs[i].job.status != 1) recording.push_back({jobs[i], i});
  }
  return recording;
}

JobScheduler::Step JobScheduler::Tick(const std::vector<RecordingJob>& jobs, int64_t now, int64_t steadyMs,
                                      bool busy) {
  Step step;
  if (running_) {
    const bool endCame = now >= running_->end || steadyMs - running_->startedSteadyMs >= running_->plannedMs;
    if (endCame && !stopAsked_) {
      stopAsked_ = true;
      step.stop = running_->job.stored;
    }
    return step;
  }
  if (busy) return step;
  const RecordingJob* due = nullptr;
  JobSpan dueSpan;
  for (const RecordingJob& job : jobs) {
    // Spans are worked out at every look: a new time zone moves them.
    const std::optional<JobSpan> span = SpanOf(job.stored.job);
    if (!span || now < span->start || now >= span->end || Handled(job.stored)) continue;
    if (!due || span->start < dueSpan.start) {
      due = &job;
      dueSpan = *span;
    }
  }
  if (!due) return step;
  const int64_t from = std::max(now, dueSpan.start);
  running_ = Start{*due, dueSpan.end, now - dueSpan.start > kLateAfterSeconds, steadyMs, (dueSpan.end - from) * 1000};
  stopAsked_ = false;
  step.start = running_;
  return step;
}

bool JobScheduler::RecordsWithin(const std::vector<RecordingJob>& jobs, int64_t now, int64_t seconds) const {
  if (running_) return true;
  return std::any_of(jobs.begin(), jobs.end(), [&](const RecordingJob& job) {
    const std::optional<JobSpan> span = SpanOf(job.stored.job);
    return span && span->start > now && span->start <= now + seconds && !Handled(job.stored);
  });
}

void JobScheduler::Ended(bool recorded) {
  if (!running_) return;
  past_.push_back({running_->job.stored, recorded});
  running_.reset();
  stopAsked_ = false;
}

bool JobScheduler::Handled(const StoredJob& stored, bool* recorded) const {
  for (const Past& past : past_) {
    if (SameJob(past.stored, stored)) {
      if (recorded) *recorded = past.recorded;
      return true;
    }
  }
  return false;
}

std::optional<JobState> JobScheduler::KnownState(const StoredJob& stored) const {
  if (running_ && SameJob(running_->job.stored, stored)) return JobState::kRecording;
  if (bool recorded = false; Handled(stored, &recorded)) return recorded ? JobState::kDone : JobState::kExpired;
  return std::nullopt;
}

JobState JobScheduler::StateOf(const StoredJob& stored, int64_t now) const {
  if (stored.job.status == 1) return JobState::kDone;
  return KnownState(stored).value_or(StateOfJob(stored.job, now));
}

}  // namespace zav
