#include "Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace zav {
namespace {
std::atomic<bool> g_traceEnabled{true};
}

void SetTraceEnabled(bool enabled) { g_traceEnabled = enabled; }

void Trace(const char* format, ...) {
  if (!g_traceEnabled) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fflush(stdout);
}

}  // namespace zav
