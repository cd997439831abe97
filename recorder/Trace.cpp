#include "Trace.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace zav {
namespace {

constexpr size_t kMaxPendingBytes = 64 * 1024;
constexpr int kWaitForOutputMs = 200;  // the writer looks at its stop flag at least this often
// A write of at most this much never blocks once poll reports room in a pipe (one page).
constexpr size_t kMaxWriteBytes = 4096;

bool AskedForByEnvironment() {
  const char* value = std::getenv("ZAV_TRACE");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

std::atomic<bool> g_traceEnabled{AskedForByEnvironment()};

// Writes queued lines to standard output on a thread of its own; joined when the process
// ends normally.
class TraceWriter {
 public:
  TraceWriter() : thread_([this] { Run(); }) {}
  ~TraceWriter() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void Add(const char* text, size_t length) {
    {
      std::lock_guard lock(mutex_);
      if (pending_.size() + length > kMaxPendingBytes) return;
      pending_.append(text, length);
    }
    changed_.notify_all();
  }

 private:
  void Run() {
    // A reader that goes away must not end the program: with SIGPIPE blocked on this thread
    // (where a write raises it), such a write fails with EPIPE and the lines are dropped.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stop_ || !pending_.empty(); });
      if (pending_.empty()) return;
      std::string chunk = pending_.substr(0, kMaxWriteBytes);
      lock.unlock();
      const ssize_t written = WriteWhenRoom(chunk);
      lock.lock();
      if (written > 0) pending_.erase(0, static_cast<size_t>(written));
      if (written < 0) pending_.clear();  // standard output is closed or broken
      if (stop_ && written <= 0) return;
    }
  }

  // Waits for room on standard output (bounded, so that stopping is never held up), then
  // writes. 0 when there was no room yet.
  static ssize_t WriteWhenRoom(const std::string& chunk) {
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    const int ready = poll(&out, 1, kWaitForOutputMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) return 0;
    if (ready < 0 || (out.revents & (POLLERR | POLLNVAL | POLLHUP))) return -1;
    const ssize_t written = write(STDOUT_FILENO, chunk.data(), chunk.size());
    if (written < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
    return written;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::string pending_;
  bool stop_ = false;
  std::thread thread_;
};

TraceWriter& Writer() {
  static TraceWriter writer;
  return writer;
}

}  // namespace

void SetTraceEnabled(bool enabled) { g_traceEnabled = enabled; }

void Trace(const char* format, ...) {
  if (!g_traceEnabled) return;
  char line[512];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length <= 0) return;
  Writer().Add(line, std::min(static_cast<size_t>(length), sizeof line - 1));
}

}  // namespace zav
