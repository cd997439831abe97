#include "pulse/PulseAppInput.h"

#include <glog/logging.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <limits>

#include "pulse/AudioDevices.h"
#include "pulse/PulseRecordStream.h"
#include "pulse/SinkMonitors.h"
#include "pulse/ServerQueries.h"

namespace zav {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kFragmentMs = 10;
constexpr auto kOpenTimeout = 2000ms;
constexpr auto kQueryTimeout = 500ms;
constexpr auto kReconnectEvery = 1000ms;
// Streams and sinks are asked again at least this often, in case an announcement was missed,
// and at most this often after announcements (a starting player sends a burst of them).
constexpr auto kRefreshEvery = 2000ms;
constexpr auto kRefreshAfterChange = 50ms;
// A tap that delivered within this time is waited for before the others' audio is mixed, so
// that streams on different sinks, delivering at different moments, line up.
constexpr int64_t kLiveMs = 120;
// A tap ahead of the others by more than this loses its oldest audio (its sink runs faster).
constexpr std::size_t kMaxAheadFrames = kRate * 300 / 1000;

void OnServerEvent(pa_context*, pa_subscription_event_type_t, uint32_t, void* userdata) {
  *static_cast<bool*>(userdata) = true;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

}  // namespace

// One application stream being recorded: a record stream on its sink's monitor that carries
// only that stream, and what it delivered that is not mixed yet.
struct PulseAppInput::Tap {
  uint32_t sinkInput = 0;
  uint32_t sink = 0;
  pulse::StreamPtr stream;
  std::vector<int32_t> queued;  // interleaved samples not mixed yet
  int64_t lastDataMs = std::numeric_limits<int64_t>::min() / 2;

  std::size_t queuedFrames() const { return queued.size() / kChannels; }
  bool alive() const { return stream && PA_STREAM_IS_GOOD(pa_stream_get_state(stream.get())); }
};

PulseAppInput::PulseAppInput(std::vector<std::string> applications) : applications_(std::move(applications)) {}

PulseAppInput::~PulseAppInput() {
  taps_.clear();
  sinks_.reset();
}

CaptureFormat PulseAppInput::Format() const { return {kRate, kChannels, /*AV_SAMPLE_FMT_S32*/ 2}; }

int PulseAppInput::Open(const std::atomic<bool>& cancel) {
  cancel_ = &cancel;
  // Not waited for beyond its own open: without a sink there is nothing to tap either.
  sinks_ = std::make_unique<pulse::SinkMonitors>(std::string(), cancel_, pulse::SinkMonitors::Flow::kNone);
  sinks_->Open(pulse::DeadlineIn(kOpenTimeout));
  if (!Connect(kOpenTimeout)) {
    LOG(ERROR) << "CoCreateInstance error";
    return -1;
  }
  LOG(INFO) << "system sound: the streams of " << applications_.size() << " application(s), " << kRate << " Hz, "
            << kChannels << " channels";
  Refresh();
  return 0;
}

bool PulseAppInput::Connect(std::chrono::milliseconds timeout) {
  taps_.clear();
  nextConnect_ = Clock::now() + kReconnectEvery;
  if (!pulse::Connect(pulse::kClientName, pulse::DeadlineIn(timeout), &connection_, cancel_)) return false;
  pa_context* context = connection_.context.get();
  pa_context_set_subscribe_callback(context, OnServerEvent, &changed_);
  const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_SINK);
  const pulse::Requests requests(connection_, pulse::DeadlineIn(kQueryTimeout), cancel_);
  if (!requests.Run(pa_context_subscribe(context, mask, nullptr, nullptr))) {
    connection_ = {};
    return false;
  }
  changed_ = true;
  return true;
}

bool PulseAppInput::Present() const {
  return played_ && connection_.context && pa_context_get_state(connection_.context.get()) == PA_CONTEXT_READY;
}

void PulseAppInput::Refresh() {
  changed_ = false;
  nextRefresh_ = Clock::now() + kRefreshEvery;
  const pulse::Requests requests(connection_, pulse::DeadlineIn(kQueryTimeout), cancel_);
  std::vector<pulse::SinkInputRecord> inputs;
  std::vector<pulse::SinkRecord> sinks;
  if (!pulse::QuerySinkInputs(requests, &inputs) || !pulse::QuerySinks(requests, &sinks)) return;

  std::vector<std::unique_ptr<Tap>> kept;
  for (const pulse::SinkInputRecord& input : inputs) {
    const bool chosen = std::any_of(applications_.begin(), applications_.end(), [&](const std::string& key) {
      return IsApplication(key, input.binary, input.appName);
    });
    if (!chosen) continue;
    // A tap of this stream on its present sink goes on; one whose stream moved has ended.
    auto same = std::find_if(taps_.begin(), taps_.end(), [&](const std::unique_ptr<Tap>& tap) {
      return tap && tap->sinkInput == input.index && tap->sink == input.sink && tap->alive();
    });
    if (same != taps_.end()) {
      kept.push_back(std::move(*same));
      continue;
    }
    auto sink = std::find_if(sinks.begin(), sinks.end(), [&](const pulse::SinkRecord& s) { return s.index == input.sink; });
    if (sink == sinks.end() || sink->monitorName.empty()) continue;

    auto tap = std::make_unique<Tap>();
    tap->sinkInput = input.index;
    tap->sink = input.sink;
    // Not waited for: the tap delivers once the server has set it up.
    tap->stream = pulse::StartRecordStream(connection_.context.get(), sink->monitorName,
                                           {pulse::SampleType::kS32, kRate, kChannels}, kFragmentMs,
                                           "application sound", input.index);
    if (!tap->stream) continue;
    LOG(INFO) << "system sound: recording stream " << input.index << " of " << ApplicationKey(input.binary, input.appName)
              << " on " << sink->name;
    kept.push_back(std::move(tap));
  }
  // Ended taps go with what they delivered still queued: their last few milliseconds at most.
  taps_ = std::move(kept);
}

void PulseAppInput::Drain(int64_t nowMs) {
  for (const std::unique_ptr<Tap>& tap : taps_) {
    pa_stream* stream = tap->stream.get();
    if (pa_stream_get_state(stream) != PA_STREAM_READY) continue;
    while (pa_stream_readable_size(stream) > 0) {
      const void* data = nullptr;
      std::size_t bytes = 0;
      if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) break;
      const std::size_t samples = bytes / 4;
      const auto* in = static_cast<const int32_t*>(data);
      if (in) {
        tap->queued.insert(tap->queued.end(), in, in + samples);
      } else {
        tap->queued.resize(tap->queued.size() + samples, 0);  // a hole is silence
      }
      pa_stream_drop(stream);
      tap->lastDataMs = nowMs;
      played_ = true;
    }
  }
}

int PulseAppInput::Mix(int64_t nowMs) {
  // What every tap that delivers has: a tap that is between two deliveries holds the others
  // back until it delivers again or counts as stopped.
  std::size_t frames = std::numeric_limits<std::size_t>::max();
  bool any = false;
  for (const std::unique_ptr<Tap>& tap : taps_) {
    const bool live = tap->queuedFrames() > 0 || nowMs - tap->lastDataMs <= kLiveMs;
    if (!live) continue;
    any = true;
    frames = std::min(frames, tap->queuedFrames());
  }
  if (!any || frames == 0) return 0;
  const std::size_t samples = frames * kChannels;
  std::vector<int64_t> sum(samples, 0);
  for (const std::unique_ptr<Tap>& tap : taps_) {
    const std::size_t taken = std::min(samples, tap->queued.size());
    for (std::size_t i = 0; i < taken; ++i) sum[i] += tap->queued[i];
    tap->queued.erase(tap->queued.begin(), tap->queued.begin() + static_cast<std::ptrdiff_t>(taken));
  }
  mixed_.resize(samples);
  constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
  constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
  for (std::size_t i = 0; i < samples; ++i) mixed_[i] = static_cast<int32_t>(std::clamp(sum[i], kLow, kHigh));
  // A tap whose sink runs faster than another's gets ahead; past a limit it loses its oldest audio.
  for (const std::unique_ptr<Tap>& tap : taps_) {
    if (tap->queuedFrames() > kMaxAheadFrames) {
      const std::size_t excess = (tap->queuedFrames() - kMaxAheadFrames) * kChannels;
      tap->queued.erase(tap->queued.begin(), tap->queued.begin() + static_cast<std::ptrdiff_t>(excess));
    }
  }
  return static_cast<int>(frames);
}

int PulseAppInput::NextPacketFrames() {
  if (mixedFrames_ > 0) return mixedFrames_;
  const auto now = Clock::now();
  sinks_->Poll();
  const bool ready = connection_.context && pa_context_get_state(connection_.context.get()) == PA_CONTEXT_READY;
  if (!ready) {
    // The server went away: it is looked for again now and then; until then, silence.
    if (now >= nextConnect_ && Connect(kQueryTimeout)) Refresh();
    return 0;
  }
  for (int i = 0; i < 64 && pa_mainloop_iterate(connection_.mainloop.get(), 0, nullptr) > 0; ++i) {
  }
  const bool tapEnded = std::any_of(taps_.begin(), taps_.end(), [](const std::unique_ptr<Tap>& t) { return !t->alive(); });
  if ((changed_ || tapEnded) && now >= nextRefresh_ - kRefreshEvery + kRefreshAfterChange) Refresh();
  if (now >= nextRefresh_) Refresh();
  const int64_t nowMs = NowMs();
  Drain(nowMs);
  mixedFrames_ = Mix(nowMs);
  return mixedFrames_;
}

int PulseAppInput::GetBuffer(const void** data, int* frames) {
  *data = nullptr;
  *frames = 0;
  if (mixedFrames_ == 0 && NextPacketFrames() == 0) return 0;
  *data = mixed_.data();
  *frames = mixedFrames_;
  return 0;
}

int PulseAppInput::ReleaseBuffer() {
  mixedFrames_ = 0;
  return 0;
}

}  // namespace zav
