#pragma once
// Runs a worker thread's body so that nothing it throws leaves the thread: a failure is
// logged and reported as -1, the thread's usual error result.

#include <glog/logging.h>
#include <pthread.h>

#include <exception>

namespace zav {

template <typename Body>
int RunGuarded(const char* threadName, Body&& body) {
  pthread_setname_np(pthread_self(), threadName);
  try {
    return body();
  } catch (const std::exception& e) {
    LOG(ERROR) << threadName << " failed: " << e.what();
  } catch (...) {
    LOG(ERROR) << threadName << " failed";
  }
  return -1;
}

}  // namespace zav
