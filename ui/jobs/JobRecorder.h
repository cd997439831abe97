#pragma once
// What records a scheduled job: the main window's recording session, the same one its buttons
// and hotkeys drive. UI thread only.

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace zav {

struct JobRecording {
  std::string fileStem;  // the file's name before "-<time>.<ext>" (FileStemOf the job's name)
  QString jobName;
  QString jobEnd;        // as typed
  bool late = false;     // it starts after its start time and records the rest
  // Runs once, later, on the UI thread: the recording stopped (true), or it did not start (false).
  std::function<void(bool recorded)> ended;
};

class JobRecorder {
 public:
  virtual ~JobRecorder() = default;
  // Nothing records, and nothing is starting.
  virtual bool IsIdle() const = 0;
  // Starts a job's recording with the recording choices in effect now; a number to stop it by,
  // or 0 when the recorder is taken (ended is not called then).
  virtual uint64_t StartJob(JobRecording job) = 0;
  // Stops the recording that StartJob numbered, if it still runs.
  virtual void StopJob(uint64_t number) = 0;
};

}  // namespace zav
