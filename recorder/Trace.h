#pragma once
// Short progress traces on standard output, off unless a front end turns them on (the
// command-line recorder's standard output carries its result only). A trace never waits for
// its reader: when standard output cannot take it at once (a full pipe nobody reads), it is
// dropped, so that the encoder thread is never held up by it.

namespace zav {

void SetTraceEnabled(bool enabled);
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zav
