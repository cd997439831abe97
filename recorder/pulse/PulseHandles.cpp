#include "pulse/PulseHandles.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace zav::pulse {
namespace {

// One poll never waits longer than this, so a deadline and a cancel are checked at least this
// often even if the clock used by the mainloop and ours disagree.
constexpr std::chrono::microseconds kMaxPollSliceUs{50'000};
// Messages handled per DispatchPending at most.
constexpr int kMaxDispatchPerCall = 64;

}  // namespace

void MainloopDeleter::operator()(pa_mainloop* mainloop) const noexcept { pa_mainloop_free(mainloop); }

void ContextDeleter::operator()(pa_context* context) const noexcept {
  // Disconnecting reports the state change synchronously; its owner may already be gone.
  pa_context_set_state_callback(context, nullptr, nullptr);
  pa_context_set_subscribe_callback(context, nullptr, nullptr);
  pa_context_set_event_callback(context, nullptr, nullptr);
  pa_context_disconnect(context);
  pa_context_unref(context);
}

void OperationDeleter::operator()(pa_operation* operation) const noexcept {
  if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
  pa_operation_unref(operation);
}

void StreamDeleter::operator()(pa_stream* stream) const noexcept {
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_set_read_callback(stream, nullptr, nullptr);
  pa_stream_set_write_callback(stream, nullptr, nullptr);
  pa_stream_set_overflow_callback(stream, nullptr, nullptr);
  pa_stream_set_underflow_callback(stream, nullptr, nullptr);
  pa_stream_set_started_callback(stream, nullptr, nullptr);
  pa_stream_set_latency_update_callback(stream, nullptr, nullptr);
  pa_stream_set_moved_callback(stream, nullptr, nullptr);
  pa_stream_set_suspended_callback(stream, nullptr, nullptr);
  pa_stream_set_event_callback(stream, nullptr, nullptr);
  pa_stream_set_buffer_attr_callback(stream, nullptr, nullptr);
  const pa_stream_state_t state = pa_stream_get_state(stream);
  if (state == PA_STREAM_CREATING || state == PA_STREAM_READY) pa_stream_disconnect(stream);
  pa_stream_unref(stream);
}

bool IterateUntil(pa_mainloop* mainloop, const std::function<bool()>& done, Deadline deadline,
                  const std::atomic<bool>* cancel) {
  while (!done()) {
    const auto now = Clock::now();
    if (now >= deadline || (cancel && *cancel)) return false;
    const auto remaining = std::chrono::ceil<std::chrono::microseconds>(deadline - now);
    const auto slice = std::min(remaining, kMaxPollSliceUs);
    if (pa_mainloop_prepare(mainloop, static_cast<int>(slice.count())) < 0) return done();
    if (pa_mainloop_poll(mainloop) < 0) return done();
    if (pa_mainloop_dispatch(mainloop) < 0) return done();
  }
  return true;
}

bool ConnectContext(pa_mainloop* mainloop, const char* clientName, Deadline deadline, ContextPtr* context,
                    const std::atomic<bool>* cancel) {
  context->reset();
  ContextPtr created(pa_context_new(pa_mainloop_get_api(mainloop), clientName));
  if (!created) return false;
  if (pa_context_connect(created.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
  pa_context* raw = created.get();
  const bool settled = IterateUntil(
      mainloop,
      [raw] {
        const pa_context_state_t state = pa_context_get_state(raw);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
      },
      deadline, cancel);
  if (!settled || pa_context_get_state(raw) != PA_CONTEXT_READY) return false;
  *context = std::move(created);
  return true;
}

bool Connect(const char* clientName, Deadline deadline, Connection* connection, const std::atomic<bool>* cancel) {
  *connection = Connection{};
  MainloopPtr mainloop(pa_mainloop_new());
  if (!mainloop) return false;
  ContextPtr context;
  if (!ConnectContext(mainloop.get(), clientName, deadline, &context, cancel)) return false;
  connection->mainloop = std::move(mainloop);
  connection->context = std::move(context);
  return true;
}

bool RunOperation(pa_mainloop* mainloop, pa_operation* operation, Deadline deadline,
                  const std::atomic<bool>* cancel) {
  if (operation == nullptr) return false;
  OperationPtr owned(operation);
  IterateUntil(
      mainloop, [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
      deadline, cancel);
  return pa_operation_get_state(operation) == PA_OPERATION_DONE;
}

void DispatchPending(pa_mainloop* mainloop) {
  for (int i = 0; i < kMaxDispatchPerCall && pa_mainloop_iterate(mainloop, 0, nullptr) > 0; ++i) {
  }
}

bool WaitStreamReady(pa_mainloop* mainloop, pa_stream* stream, Deadline deadline,
                     const std::atomic<bool>* cancel) {
  IterateUntil(
      mainloop,
      [stream] {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
      },
      deadline, cancel);
  return pa_stream_get_state(stream) == PA_STREAM_READY;
}

}  // namespace zav::pulse
