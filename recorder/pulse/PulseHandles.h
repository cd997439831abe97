#pragma once
// Owners for libpulse handles and waits on a pa_mainloop that always end by a deadline.
//
// Used by every piece of code that talks to the sound server: the endpoint functions and the
// capture streams. A handle and the mainloop it lives on belong to one thread at a time.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

struct pa_mainloop;
struct pa_context;
struct pa_operation;
struct pa_stream;

namespace zav::pulse {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

inline Deadline DeadlineIn(std::chrono::milliseconds timeout) { return Clock::now() + timeout; }

struct MainloopDeleter {
  void operator()(pa_mainloop* mainloop) const noexcept;
};
// Clears the context's callbacks, disconnects it and drops the reference.
struct ContextDeleter {
  void operator()(pa_context* context) const noexcept;
};
// Cancels a still running operation (its callback is not called afterwards) and drops it.
struct OperationDeleter {
  void operator()(pa_operation* operation) const noexcept;
};
// Clears the stream's callbacks, disconnects a connected stream and drops the reference.
struct StreamDeleter {
  void operator()(pa_stream* stream) const noexcept;
};

using MainloopPtr = std::unique_ptr<pa_mainloop, MainloopDeleter>;
using ContextPtr = std::unique_ptr<pa_context, ContextDeleter>;
using OperationPtr = std::unique_ptr<pa_operation, OperationDeleter>;
using StreamPtr = std::unique_ptr<pa_stream, StreamDeleter>;

// A mainloop with one context on it. Members are destroyed in reverse order, so the
// context (and any stream declared by the user after this object) goes before its mainloop.
struct Connection {
  MainloopPtr mainloop;
  ContextPtr context;
};

// Every wait below also ends soon after *cancel becomes true (when cancel is given), so a
// thread that waits on a server that does not answer can still be stopped promptly.

// Runs iterations of the mainloop until done() returns true, the deadline passes or the wait
// is cancelled; never blocks past the deadline. Returns the last value of done().
bool IterateUntil(pa_mainloop* mainloop, const std::function<bool()>& done, Deadline deadline,
                  const std::atomic<bool>* cancel = nullptr);

// Creates a mainloop and a context called clientName and connects it to the sound server that
// libpulse finds (PULSE_SERVER, client.conf, the per-user socket), never starting one.
// True when the context is ready before the deadline; otherwise *connection is left empty.
bool Connect(const char* clientName, Deadline deadline, Connection* connection,
             const std::atomic<bool>* cancel = nullptr);

// Connects another context called clientName on an existing mainloop, as Connect does. True
// when it is ready before the deadline; otherwise *context is left empty.
bool ConnectContext(pa_mainloop* mainloop, const char* clientName, Deadline deadline, ContextPtr* context,
                    const std::atomic<bool>* cancel = nullptr);

// Takes ownership of operation (nullptr is a failed request) and iterates the mainloop until
// it completes. On the deadline, a cancel or a broken connection the operation is cancelled,
// so its callback will not run later. True only when it ran to completion.
bool RunOperation(pa_mainloop* mainloop, pa_operation* operation, Deadline deadline,
                  const std::atomic<bool>* cancel = nullptr);

// Handles what the server sent meanwhile, without waiting. Stops after a bounded number of
// messages, so that a server flooding the connection cannot keep a thread here.
void DispatchPending(pa_mainloop* mainloop);

// Iterates until the stream is ready. False when it failed, ended, the deadline passed or the
// wait was cancelled.
bool WaitStreamReady(pa_mainloop* mainloop, pa_stream* stream, Deadline deadline,
                     const std::atomic<bool>* cancel = nullptr);

}  // namespace zav::pulse
