#pragma once
// One worker thread that runs jobs in the order they were posted: the windows' disk, sound
// server and file-list work, so the UI thread never waits on them. The main window's queue
// ("zav-settings") is the one every window uses for the settings and job files: what one window
// writes is what the next read sees, whichever window reads.
//
// Post may be called from any thread; Run, Stop and the destructor from the UI thread.

#include <QCoreApplication>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace zav {

class WorkQueue {
 public:
  explicit WorkQueue(std::string threadName);
  ~WorkQueue();  // Stop(kRun)
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Queues job; ignored once Stop has begun.
  void Post(std::function<void()> job);

  // Queues work(); its result comes back as done(result) on the UI thread, unless receiver has
  // been destroyed by then (done is then dropped, the work itself has run). receiver may go
  // away at any time; the queue must be stopped before the application object goes.
  template <typename Work, typename Done>
  void Run(QObject* receiver, Work work, Done done) {
    Post([guard = QPointer<QObject>(receiver), work = std::move(work), done = std::move(done)]() mutable {
      auto result = work();
      // Through the application object: the receiver may be deleted on the UI thread while
      // this runs, and is checked there.
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [guard, done, result = std::move(result)]() mutable {
            if (guard) done(result);
          },
          Qt::QueuedConnection);
    });
  }

  enum class Pending {
    kRun,   // jobs already posted still run (settings the user changed get written)
    kDrop,  // only the job that is running ends (reads nobody will show)
  };
  // Ends the worker and joins it. Calling it again does nothing.
  void Stop(Pending pending);

  // True while a job runs or waits (for tests and benchmarks).
  bool Busy() const;

 private:
  void Serve();

  const std::string threadName_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;  // guarded by mutex_
  bool stopping_ = false;                   // guarded by mutex_
  bool running_ = false;                    // guarded by mutex_: a job is running
  std::thread thread_;
};

}  // namespace zav
