#include "pulse/PulseSpeakerInput.h"

#include <glog/logging.h>
#include <pulse/pulseaudio.h>

namespace zav {
namespace {

using namespace std::chrono_literals;
constexpr auto kOpenTimeout = 2000ms;
constexpr auto kReopenTimeout = 800ms;
constexpr auto kCheckEvery = 1000ms;  // how often the default sink is looked at
constexpr int kFragmentMs = 10;
constexpr int kBytesPerSample = 4;
constexpr int kCaptureChannels = 2;

void OnDefaultSinkName(pa_context*, const pa_server_info* info, void* userdata) {
  if (info && info->default_sink_name) *static_cast<std::string*>(userdata) = info->default_sink_name;
}

}  // namespace

int PulseSpeakerInput::Open(const std::atomic<bool>& cancel) {
  stream_ = std::make_unique<pulse::RecordStream>(&cancel);
  return OpenMonitor(kOpenTimeout, true) ? 0 : -1;
}

bool PulseSpeakerInput::OpenMonitor(std::chrono::milliseconds timeout, bool logFailures) {
  defaultQuery_.reset();
  pending_ = nullptr;
  pendingBytes_ = 0;
  const pulse::Deadline deadline = pulse::DeadlineIn(timeout);
  if (!stream_->Connect(deadline)) {
    LOG_IF(ERROR, logFailures) << "CoCreateInstance error";
    return false;
  }
  pulse::SinkRecord sink;
  const pulse::Requests requests = stream_->MakeRequests(deadline);
  const bool asked = chosen_.empty() ? pulse::QueryDefaultSink(requests, &sink)
                                     : pulse::QuerySinkByName(requests, chosen_, &sink);
  if (!asked || !sink.found || sink.monitorName.empty() || sink.sampleRate <= 0 || sink.channels <= 0) {
    LOG_IF(ERROR, logFailures) << "Get Default Audio Endpoint error" << (chosen_.empty() ? "" : ": no sink ") << chosen_;
    return false;
  }
  // Stereo at the sink's rate whatever its layout: the server mixes 5.1, 7.1 or 16 channels
  // down (and a mono sink up) better than a guess at an unusual layout would.
  const pulse::StreamFormat format{pulse::SampleType::kS32, sink.sampleRate, kCaptureChannels};
  if (logFailures) {  // the first opening describes the format
    LOG(INFO) << "nChannels: " << format.channels;
    LOG(INFO) << "wFormatTag: " << 1;
    LOG(INFO) << "nSamplesPerSec: " << format.sampleRate;
    LOG(INFO) << "wBitsPerSample: " << kBytesPerSample * 8;
    LOG(INFO) << "nBlockAlign: " << format.frameBytes();
    LOG(INFO) << "cbSize: " << 0;
  }
  if (!stream_->Open(sink.monitorName, format, kFragmentMs, "system sound", deadline)) {
    LOG_IF(ERROR, logFailures) << "AudioClient Initialize  error";
    return false;
  }
  if (!logFailures) {
    LOG(INFO) << "system sound " << (chosen_.empty() ? "now" : "back") << " from the monitor of " << sink.name << " (" << format.sampleRate << " Hz, "
              << format.channels << " channels)";
  }
  sink_ = sink.name;
  format_.sampleRate = format.sampleRate;
  format_.channels = format.channels;
  return true;
}

// A vanished stream or a lost server opens the stream again (on the chosen sink when it is
// back); without a chosen sink a new default sink does too. A failed attempt is repeated at the
// next check.
void PulseSpeakerInput::FollowSink() {
  if (defaultQuery_ && pa_operation_get_state(defaultQuery_.get()) != PA_OPERATION_RUNNING) {
    defaultQuery_.reset();
    if (!reportedSink_.empty() && reportedSink_ != sink_) {
      OpenMonitor(kReopenTimeout, false);
      return;
    }
  }
  const auto now = std::chrono::steady_clock::now();
  if (now < nextCheck_ || defaultQuery_) return;
  nextCheck_ = now + kCheckEvery;
  if (!stream_->ready()) {
    OpenMonitor(kReopenTimeout, false);
    return;
  }
  if (!chosen_.empty()) return;
  reportedSink_.clear();
  defaultQuery_.reset(pa_context_get_server_info(stream_->context(), OnDefaultSinkName, &reportedSink_));
}

int PulseSpeakerInput::NextPacketFrames() {
  if (!stream_) return 0;
  const int frameBytes = format_.channels * kBytesPerSample;
  if (pendingBytes_ > 0) return static_cast<int>(pendingBytes_ / frameBytes);
  stream_->Pump();
  FollowSink();
  if (stream_->Peek(&pending_, &pendingBytes_) < 0) {
    pendingBytes_ = 0;
    return 0;
  }
  return static_cast<int>(pendingBytes_ / frameBytes);
}

int PulseSpeakerInput::GetBuffer(const void** data, int* frames) {
  *data = nullptr;
  *frames = 0;
  if (pendingBytes_ == 0 && NextPacketFrames() == 0) return 0;
  *data = pending_;
  *frames = static_cast<int>(pendingBytes_ / (format_.channels * kBytesPerSample));
  return 0;
}

bool PulseSpeakerInput::Present() const { return stream_ && stream_->ready(); }

int PulseSpeakerInput::ReleaseBuffer() {
  if (pendingBytes_ == 0) return 0;
  pending_ = nullptr;
  pendingBytes_ = 0;
  stream_->Drop();
  return 0;
}

}  // namespace zav
