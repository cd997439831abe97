#include "pulse/PulseMicrophoneInput.h"

#include <glog/logging.h>

#include <algorithm>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace zav {
namespace {

using namespace std::chrono_literals;
constexpr auto kOpenTimeout = 2000ms;
// A vanished microphone is looked for about once a second; each look is bounded by this.
constexpr auto kReopenTimeout = 800ms;
// The server sends audio in pieces this long; the microphone thread takes them every 50 ms.
constexpr int kFragmentMs = 10;

// The stream's sample type for the format the recorder wants (planar formats arrive
// interleaved).
pulse::SampleType StreamTypeOf(int sampleFormat) {
  switch (av_get_packed_sample_fmt(static_cast<AVSampleFormat>(sampleFormat))) {
    case AV_SAMPLE_FMT_S32:
      return pulse::SampleType::kS32;
    case AV_SAMPLE_FMT_FLT:
      return pulse::SampleType::kFloat32;
    default:
      return pulse::SampleType::kS16;
  }
}

int SampleFormatOf(pulse::SampleType type) {
  switch (type) {
    case pulse::SampleType::kS32:
      return AV_SAMPLE_FMT_S32;
    case pulse::SampleType::kFloat32:
      return AV_SAMPLE_FMT_FLT;
    case pulse::SampleType::kS16:
      break;
  }
  return AV_SAMPLE_FMT_S16;
}

}  // namespace

int PulseMicrophoneInput::Open(const CaptureFormat& wanted, const std::atomic<bool>& cancel) {
  stream_ = std::make_unique<pulse::RecordStream>(&cancel);
  streamFormat_ = {StreamTypeOf(wanted.sampleFormat), wanted.sampleRate, wanted.channels};
  format_ = {wanted.sampleRate, wanted.channels, SampleFormatOf(streamFormat_.type)};
  return Connect(kOpenTimeout, true) ? 0 : -1;
}

bool PulseMicrophoneInput::Connect(std::chrono::milliseconds timeout, bool logFailures) {
  const pulse::Deadline deadline = pulse::DeadlineIn(timeout);
  if (!stream_->Connect(deadline)) {
    LOG_IF(ERROR, logFailures) << "cannot connect to the sound server";
    return false;
  }
  const pulse::Requests requests = stream_->MakeRequests(deadline);
  pulse::SourceRecord source;
  const bool found = named_.empty() ? pulse::QueryMicrophone(requests, &source)
                                    : pulse::QueryCaptureSource(requests, named_, &source);
  if (!found) {
    LOG_IF(ERROR, logFailures) << "no capture device" << (named_.empty() ? "" : " called ") << named_;
    return false;
  }
  if (!stream_->Open(source.facts.name, streamFormat_, kFragmentMs, "microphone", deadline)) {
    if (logFailures) {
      LOG(ERROR) << "psDevName:" << source.facts.name;
      LOG(ERROR) << "pa_stream_connect_record err,errstr=" << stream_->ErrorText();
    }
    return false;
  }
  sourceName_ = source.facts.name;
  description_ = source.facts.description;
  deliveryMs_ = source.fixedLatencyMs;
  return true;
}

MicrophoneInput::ReadResult PulseMicrophoneInput::Read(const void** data, int* frames) {
  *data = nullptr;
  *frames = 0;
  if (!stream_) return kGone;
  std::size_t bytes = 0;
  if (stream_->Peek(data, &bytes) < 0) return kGone;
  if (bytes == 0) {
    // Nothing left of what was dispatched: take in what the server sent since.
    stream_->Pump();
    if (stream_->Peek(data, &bytes) < 0) return kGone;
    if (bytes == 0) return kNone;
  }
  if (*data == nullptr) {
    // A hole (no data for a span) reads as silence, at most a second of it: a server's hole
    // can span far more than the time that passed, and the recording clock keeps the rest.
    bytes = std::min<std::size_t>(bytes, static_cast<std::size_t>(streamFormat_.frameBytes()) * streamFormat_.sampleRate);
    if (hole_.size() < bytes) hole_.assign(bytes, 0);
    *data = hole_.data();
  }
  *frames = static_cast<int>(bytes / static_cast<std::size_t>(streamFormat_.frameBytes()));
  return kOk;
}

void PulseMicrophoneInput::Release() {
  if (stream_) stream_->Drop();
}

void PulseMicrophoneInput::Flush() {
  if (stream_) stream_->DropAll();
}

int PulseMicrophoneInput::Reopen() {
  if (!stream_) return -1;
  stream_->Pump();
  if (stream_->ready()) return 0;
  if (!Connect(kReopenTimeout, false)) return -1;
  LOG(INFO) << "microphone is back: " << sourceName_;
  return 0;
}

}  // namespace zav
