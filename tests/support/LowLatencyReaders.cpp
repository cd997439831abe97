#include "LowLatencyReaders.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace zav::test {
namespace {

constexpr std::chrono::milliseconds kConnectTimeoutMs{10000};
constexpr std::chrono::milliseconds kPollMs{5};
constexpr pa_usec_t kFragmentUs = 20'000;

void OnReadable(pa_stream* stream, size_t, void*) {
  const void* data = nullptr;
  size_t length = 0;
  while (pa_stream_readable_size(stream) > 0) {
    if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) return;
    pa_stream_drop(stream);
  }
}

struct MainloopDeleter {
  void operator()(pa_threaded_mainloop* mainloop) const {
    pa_threaded_mainloop_stop(mainloop);
    pa_threaded_mainloop_free(mainloop);
  }
};
struct ContextDeleter {
  void operator()(pa_context* context) const {
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
};
struct StreamDeleter {
  void operator()(pa_stream* stream) const {
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    if (pa_stream_get_state(stream) == PA_STREAM_READY) pa_stream_disconnect(stream);
    pa_stream_unref(stream);
  }
};

}  // namespace

struct LowLatencyReaders::State {
  std::unique_ptr<pa_threaded_mainloop, MainloopDeleter> mainloop;
  std::unique_ptr<pa_context, ContextDeleter> context;
  std::vector<std::unique_ptr<pa_stream, StreamDeleter>> streams;

  // Polls done() under the mainloop's lock until it gives 1 (true) or -1 (false), or the
  // timeout passes.
  template <typename Done>
  bool WaitFor(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kConnectTimeoutMs;
    for (;;) {
      pa_threaded_mainloop_lock(mainloop.get());
      const int result = done();
      pa_threaded_mainloop_unlock(mainloop.get());
      if (result != 0) return result > 0;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(kPollMs);
    }
  }
};

LowLatencyReaders::LowLatencyReaders() : state_(std::make_unique<State>()) {}

LowLatencyReaders::~LowLatencyReaders() { Close(); }

bool LowLatencyReaders::Connect(const std::string& address) {
  Close();
  state_->mainloop.reset(pa_threaded_mainloop_new());
  if (!state_->mainloop) return false;
  state_->context.reset(
      pa_context_new(pa_threaded_mainloop_get_api(state_->mainloop.get()), "zav-test-latency-keeper"));
  if (!state_->context ||
      pa_context_connect(state_->context.get(), address.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(state_->mainloop.get()) < 0) {
    return false;
  }
  pa_context* context = state_->context.get();
  return state_->WaitFor([context] {
    const pa_context_state_t s = pa_context_get_state(context);
    return s == PA_CONTEXT_READY ? 1 : (PA_CONTEXT_IS_GOOD(s) ? 0 : -1);
  });
}

bool LowLatencyReaders::Add(const std::string& source) {
  if (!state_->context) return false;
  const pa_sample_spec sampleSpec{PA_SAMPLE_S16LE, 44100, 2};
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentUs, &sampleSpec));
  pa_threaded_mainloop_lock(state_->mainloop.get());
  pa_stream* stream = pa_stream_new(state_->context.get(), "latency keeper", &sampleSpec, nullptr);
  bool started = stream != nullptr;
  if (started) {
    state_->streams.emplace_back(stream);
    pa_stream_set_read_callback(stream, OnReadable, nullptr);
    started = pa_stream_connect_record(stream, source.c_str(), &attributes,
                                       static_cast<pa_stream_flags_t>(PA_STREAM_DONT_MOVE |
                                                                      PA_STREAM_ADJUST_LATENCY)) == 0;
  }
  pa_threaded_mainloop_unlock(state_->mainloop.get());
  if (!started) return false;
  return state_->WaitFor([stream] {
    const pa_stream_state_t s = pa_stream_get_state(stream);
    return s == PA_STREAM_READY ? 1 : (PA_STREAM_IS_GOOD(s) ? 0 : -1);
  });
}

void LowLatencyReaders::Close() {
  // The mainloop's thread stops first, so nothing runs while the streams and the context go.
  if (state_->mainloop) pa_threaded_mainloop_stop(state_->mainloop.get());
  state_->streams.clear();
  state_->context.reset();
  state_->mainloop.reset();
}

}  // namespace zav::test
