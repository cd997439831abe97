#pragma once
// Reads the playing times of the listed recordings off the UI thread, in the order asked. Each
// file first gets a short time; one that needs longer (a slow disk, a huge file) moves to a
// second worker with a longer limit, so that it never holds back the files after it.
//
// Read may be called from any thread; done runs on a worker. Destroying the object stops the
// read under way at once and joins both workers; what was still waiting is dropped.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace zav {

class WorkQueue;

class RecordingDurations {
 public:
  // seconds is -1 when the time could not be read.
  using Done = std::function<void(int id, double seconds)>;

  static constexpr std::chrono::milliseconds kQuickReadTime{500};
  static constexpr std::chrono::milliseconds kPatientReadTime{10000};

  explicit RecordingDurations(Done done);
  ~RecordingDurations();
  RecordingDurations(const RecordingDurations&) = delete;
  RecordingDurations& operator=(const RecordingDurations&) = delete;

  // Reads the duration of the recording at fullPath (bytes) and hands it to done with id.
  void Read(int id, std::string fullPath);

 private:
  void ReadPatiently(int id, const std::string& fullPath);

  Done done_;
  std::atomic<bool> cancel_{false};
  std::unique_ptr<WorkQueue> patient_;
  std::unique_ptr<WorkQueue> quick_;  // last: stopped first, as it feeds patient_
};

}  // namespace zav
