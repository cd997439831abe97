#include "RecordingDurations.h"

#include "RecordingFiles.h"
#include "dui/WorkQueue.h"

namespace zav {

RecordingDurations::RecordingDurations(Done done)
    : done_(std::move(done)),
      patient_(std::make_unique<WorkQueue>("zav-list-slow")),
      quick_(std::make_unique<WorkQueue>("zav-list-time")) {}

RecordingDurations::~RecordingDurations() {
  cancel_ = true;
  quick_->Stop(WorkQueue::Pending::kDrop);
  patient_->Stop(WorkQueue::Pending::kDrop);
}

void RecordingDurations::Read(int id, std::string fullPath) {
  quick_->Post([this, id, path = std::move(fullPath)] {
    double seconds = -1;
    const DurationResult result = ReadRecordingDuration(path, {kQuickReadTime, &cancel_}, &seconds);
    if (result == DurationResult::kCancelled) return;
    if (result == DurationResult::kOutOfTime) {
      patient_->Post([this, id, path] { ReadPatiently(id, path); });
      return;
    }
    done_(id, result == DurationResult::kRead ? seconds : -1);
  });
}

void RecordingDurations::ReadPatiently(int id, const std::string& fullPath) {
  double seconds = -1;
  const DurationResult result = ReadRecordingDuration(fullPath, {kPatientReadTime, &cancel_}, &seconds);
  if (result == DurationResult::kCancelled) return;
  done_(id, result == DurationResult::kRead ? seconds : -1);
}

}  // namespace zav
