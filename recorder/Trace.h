#pragma once
// Short progress traces on standard output. A front end that owns standard output
// (the command-line recorder) turns them off.

namespace zav {

void SetTraceEnabled(bool enabled);
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zav
