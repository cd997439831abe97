#include "WorkQueue.h"

#include "ThreadGuard.h"

namespace zav {

WorkQueue::WorkQueue(std::string threadName) : threadName_(std::move(threadName)) {
  thread_ = std::thread([this] {
    RunGuarded(threadName_.c_str(), [this] {
      Serve();
      return 0;
    });
  });
}

WorkQueue::~WorkQueue() { Stop(Pending::kRun); }

void WorkQueue::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void WorkQueue::Stop(Pending pending) {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (pending == Pending::kDrop) jobs_.clear();
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

bool WorkQueue::Busy() const {
  std::lock_guard lock(mutex_);
  return running_ || !jobs_.empty();
}

void WorkQueue::Serve() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      running_ = false;
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, nothing left
      job = std::move(jobs_.front());
      jobs_.pop_front();
      running_ = true;
    }
    // One failing job must not end the queue: later jobs (the user's settings) still run.
    RunGuarded(threadName_.c_str(), [&job] {
      job();
      return 0;
    });
  }
}

}  // namespace zav
