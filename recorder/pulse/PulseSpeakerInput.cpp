#include "PulseSpeakerInput.h"

#include <glog/logging.h>
#include <pulse/pulseaudio.h>

namespace zav {
namespace {

using namespace std::chrono_literals;
constexpr auto kOpenTimeout = 2000ms;
constexpr auto kCheckEvery = 1000ms;     // how often the default sink is looked at
constexpr int kFragmentMs = 10;
constexpr int kBytesPerSample = 4;

struct SinkFacts {
  std::string defaultSink;
  std::string monitor;
  pa_sample_spec sampleSpec{};
  bool found = false;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
  if (info && info->default_sink_name) static_cast<SinkFacts*>(userdata)->defaultSink = info->default_sink_name;
}

void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* facts = static_cast<SinkFacts*>(userdata);
  if (eol || !info) return;
  facts->found = true;
  facts->sampleSpec = info->sample_spec;
  if (info->monitor_source_name) facts->monitor = info->monitor_source_name;
}

void OnDefaultSinkName(pa_context*, const pa_server_info* info, void* userdata) {
  if (info && info->default_sink_name) *static_cast<std::string*>(userdata) = info->default_sink_name;
}

// The server resolves this to the monitor of whatever sink is the default when connecting.
constexpr const char* kDefaultMonitor = "@DEFAULT_MONITOR@";

}  // namespace

bool PulseSpeakerInput::QueryDefaultSink(std::string* sink, std::string* monitor, int* rate, int* channels) {
  pa_mainloop* loop = connection_.mainloop.get();
  pa_context* context = connection_.context.get();
  SinkFacts facts;
  const auto deadline = pulse::DeadlineIn(kOpenTimeout);
  if (!pulse::RunOperation(loop, pa_context_get_server_info(context, OnServerInfo, &facts), deadline) ||
      facts.defaultSink.empty()) {
    return false;
  }
  if (!pulse::RunOperation(loop, pa_context_get_sink_info_by_name(context, facts.defaultSink.c_str(), OnSinkInfo, &facts),
                           deadline) ||
      !facts.found || facts.monitor.empty()) {
    return false;
  }
  *sink = facts.defaultSink;
  *monitor = facts.monitor;
  *rate = static_cast<int>(facts.sampleSpec.rate);
  *channels = facts.sampleSpec.channels;
  return true;
}

int PulseSpeakerInput::Open() {
  if (!pulse::Connect("ZAV audio recorder", pulse::DeadlineIn(kOpenTimeout), &connection_)) {
    LOG(ERROR) << "CoCreateInstance error";
    return -1;
  }
  int rate = 0, channels = 0;
  std::string monitor;
  if (!QueryDefaultSink(&sink_, &monitor, &rate, &channels)) {
    LOG(ERROR) << "Get Default Audio Endpoint error";
    return -1;
  }
  format_.sampleRate = rate;
  format_.channels = channels;
  frameBytes_ = channels * kBytesPerSample;
  LOG(INFO) << "nChannels: " << channels;
  LOG(INFO) << "wFormatTag: " << 1;
  LOG(INFO) << "nSamplesPerSec: " << rate;
  LOG(INFO) << "wBitsPerSample: " << kBytesPerSample * 8;
  LOG(INFO) << "nBlockAlign: " << frameBytes_;
  LOG(INFO) << "cbSize: " << 0;
  if (!ConnectStream(monitor)) {
    LOG(ERROR) << "AudioClient Initialize  error";
    return -1;
  }
  nextCheck_ = std::chrono::steady_clock::now() + kCheckEvery;
  return 0;
}

bool PulseSpeakerInput::ConnectStream(const std::string& monitor) {
  stream_.reset();
  peeked_ = false;
  pa_sample_spec sampleSpec{};
  sampleSpec.format = PA_SAMPLE_S32LE;
  sampleSpec.rate = static_cast<uint32_t>(format_.sampleRate);
  sampleSpec.channels = static_cast<uint8_t>(format_.channels);
  pa_channel_map map;
  pa_channel_map_init_auto(&map, sampleSpec.channels, PA_CHANNEL_MAP_DEFAULT);
  pulse::StreamPtr stream(pa_stream_new(connection_.context.get(), "system sound", &sampleSpec, &map));
  if (!stream) return false;
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(format_.sampleRate * kFragmentMs / 1000 * frameBytes_);
  // The stream stays on the monitor it was given; when that goes away the stream fails and
  // FollowDefaultSink connects to the monitor of the default sink then.
  if (pa_stream_connect_record(stream.get(), monitor.c_str(), &attr,
                               static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE)) < 0)
    return false;
  if (!pulse::WaitStreamReady(connection_.mainloop.get(), stream.get(), pulse::DeadlineIn(kOpenTimeout))) return false;
  stream_ = std::move(stream);
  return true;
}

void PulseSpeakerInput::Pump() {
  for (int i = 0; i < 16 && pa_mainloop_iterate(connection_.mainloop.get(), 0, nullptr) > 0; ++i) {
  }
}

// Follows the default sink: a vanished stream or a new default sink reconnects the stream.
void PulseSpeakerInput::FollowDefaultSink() {
  const auto now = std::chrono::steady_clock::now();
  if (defaultQuery_ && pa_operation_get_state(defaultQuery_.get()) != PA_OPERATION_RUNNING) {
    defaultQuery_.reset();
    const bool broken = !stream_ || pa_stream_get_state(stream_.get()) != PA_STREAM_READY;
    if (!reportedSink_.empty() && (reportedSink_ != sink_ || broken)) {
      LOG(INFO) << "system sound now from the monitor of " << reportedSink_;
      sink_ = reportedSink_;
      if (!ConnectStream(kDefaultMonitor)) LOG(ERROR) << "AudioClient Initialize  error";
    }
  }
  if (now < nextCheck_ || defaultQuery_) return;
  nextCheck_ = now + kCheckEvery;
  if (!connection_.context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(connection_.context.get()))) {
    stream_.reset();
    connection_ = {};
    Open();  // the server went away; tried again at the next check if it is still gone
    return;
  }
  reportedSink_.clear();
  defaultQuery_.reset(pa_context_get_server_info(connection_.context.get(), OnDefaultSinkName, &reportedSink_));
}

int PulseSpeakerInput::NextPacketFrames() {
  if (!connection_.mainloop) {
    FollowDefaultSink();
    return 0;
  }
  Pump();
  FollowDefaultSink();
  if (!stream_ || pa_stream_get_state(stream_.get()) != PA_STREAM_READY) return 0;
  const size_t readable = pa_stream_readable_size(stream_.get());
  if (readable == static_cast<size_t>(-1)) return 0;
  return static_cast<int>(readable / frameBytes_);
}

int PulseSpeakerInput::GetBuffer(const void** data, int* frames) {
  *data = nullptr;
  *frames = 0;
  if (!stream_) return -1;
  size_t bytes = 0;
  if (pa_stream_peek(stream_.get(), data, &bytes) < 0) return -1;
  peeked_ = bytes > 0;  // a hole (no data, some bytes) must be dropped too
  *frames = static_cast<int>(bytes / frameBytes_);
  return 0;
}

int PulseSpeakerInput::ReleaseBuffer() {
  if (!peeked_) return 0;
  peeked_ = false;
  return stream_ && pa_stream_drop(stream_.get()) == 0 ? 0 : -1;
}

}  // namespace zav
