#pragma once
// NetWorker: one network worker thread and its cancel token, owned by a window or service
// object. The owner cancels and joins it; destroying a NetWorker does both, and because the
// token wakes any transfer at once, that never waits for a network time-out.
//
// Owner's thread only.

#include <functional>
#include <memory>
#include <thread>

#include "CancelToken.h"

namespace zav {

class NetWorker {
 public:
  NetWorker() = default;
  ~NetWorker() { Stop(); }
  NetWorker(const NetWorker&) = delete;
  NetWorker& operator=(const NetWorker&) = delete;

  // Runs body(token) on a new thread named threadName, with a fresh token. A previous run
  // is joined first: start again only after its result has come in.
  void Start(const char* threadName, std::function<void(const CancelToken&)> body);

  // Asks the run under way to end; returns at once.
  void Cancel();
  // Cancel, then join.
  void Stop();

 private:
  std::unique_ptr<CancelToken> token_;
  std::thread thread_;
};

}  // namespace zav
