#pragma once
// Short progress traces on standard output, off unless asked for: SetTraceEnabled(true), or
// ZAV_TRACE=1 in the environment. A trace never blocks its caller (the encoder thread traces
// while it holds a FIFO's lock): lines are handed to a writer thread of their own, and lines
// that find its buffer full (standard output not read) are dropped.

namespace zav {

void SetTraceEnabled(bool enabled);
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zav
