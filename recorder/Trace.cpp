#include "Trace.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace zav {
namespace {
std::atomic<bool> g_traceEnabled{false};
}

void SetTraceEnabled(bool enabled) { g_traceEnabled = enabled; }

void Trace(const char* format, ...) {
  if (!g_traceEnabled) return;
  char line[512];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length <= 0) return;
  // One write of a short line: all of it or nothing when the reader keeps up, and no wait
  // when it does not.
  pollfd out{STDOUT_FILENO, POLLOUT, 0};
  if (poll(&out, 1, 0) != 1 || !(out.revents & POLLOUT)) return;
  const auto size = static_cast<size_t>(length < static_cast<int>(sizeof line) ? length : sizeof line - 1);
  [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, line, size);
}

}  // namespace zav
