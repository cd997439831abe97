#pragma once
// One worker thread that runs jobs in the order they were posted: the window's disk, sound
// server and file-list work, so the UI thread never waits on them. Jobs report back by posting
// to the window (WindowImplBase::PostTask).
//
// Post may be called from any thread; Stop and the destructor from the owner's thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zav {

class WorkQueue {
 public:
  explicit WorkQueue(std::string threadName);
  ~WorkQueue();  // Stop(kRun)
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Queues job; ignored once Stop has begun.
  void Post(std::function<void()> job);

  enum class Pending {
    kRun,   // jobs already posted still run (settings the user changed get written)
    kDrop,  // only the job that is running ends (reads nobody will show)
  };
  // Ends the worker and joins it. Calling it again does nothing.
  void Stop(Pending pending);

  // True while a job runs or waits (for tests and benchmarks).
  bool Busy() const;

 private:
  void Run();

  const std::string threadName_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;  // guarded by mutex_
  bool stopping_ = false;                   // guarded by mutex_
  bool running_ = false;                    // guarded by mutex_: a job is running
  std::thread thread_;
};

}  // namespace zav
