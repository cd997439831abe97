#include "pulse/PulseSpeakerInput.h"

#include <glog/logging.h>

namespace zav {
namespace {

using namespace std::chrono_literals;
constexpr auto kOpenTimeout = 2000ms;
constexpr int kBytesPerSample = 4;

}  // namespace

int PulseSpeakerInput::Open(const std::atomic<bool>& cancel) {
  pending_ = nullptr;
  pendingBytes_ = 0;
  const auto flow = use_ == SystemSoundUse::kMeter ? pulse::SinkMonitors::Flow::kHeardSinkOnly
                                                   : pulse::SinkMonitors::Flow::kEverySink;
  monitors_ = std::make_unique<pulse::SinkMonitors>(chosen_, &cancel, flow);
  switch (monitors_->Open(pulse::DeadlineIn(kOpenTimeout))) {
    case pulse::SinkMonitors::OpenResult::kOk:
      break;
    case pulse::SinkMonitors::OpenResult::kNoServer:
      LOG(ERROR) << "CoCreateInstance error";
      return -1;
    case pulse::SinkMonitors::OpenResult::kNoSink:
      LOG(ERROR) << "Get Default Audio Endpoint error" << (chosen_.empty() ? "" : ": no sink ") << chosen_;
      return -1;
    case pulse::SinkMonitors::OpenResult::kNoStream:
      LOG(ERROR) << "AudioClient Initialize  error";
      return -1;
  }
  const pulse::StreamFormat& format = monitors_->format();
  LOG(INFO) << "nChannels: " << format.channels;
  LOG(INFO) << "wFormatTag: " << 1;
  LOG(INFO) << "nSamplesPerSec: " << format.sampleRate;
  LOG(INFO) << "wBitsPerSample: " << kBytesPerSample * 8;
  LOG(INFO) << "nBlockAlign: " << format.frameBytes();
  LOG(INFO) << "cbSize: " << 0;
  format_.sampleRate = format.sampleRate;
  format_.channels = format.channels;
  return 0;
}

int PulseSpeakerInput::frameBytes() const { return format_.channels * kBytesPerSample; }

int PulseSpeakerInput::NextPacketFrames() {
  if (!monitors_) return 0;
  if (pendingBytes_ > 0) return static_cast<int>(pendingBytes_ / frameBytes());
  monitors_->Poll();
  const int peeked = monitors_->Peek(&pending_, &pendingBytes_);
  // The piece's own format: after a switch the old sink's last pieces come first.
  format_.sampleRate = monitors_->format().sampleRate;
  format_.channels = monitors_->format().channels;
  if (peeked < 0) {
    pendingBytes_ = 0;
    return 0;
  }
  return static_cast<int>(pendingBytes_ / frameBytes());
}

int PulseSpeakerInput::GetBuffer(const void** data, int* frames) {
  *data = nullptr;
  *frames = 0;
  if (pendingBytes_ == 0 && NextPacketFrames() == 0) return 0;
  *data = pending_;
  *frames = static_cast<int>(pendingBytes_ / frameBytes());
  return 0;
}

bool PulseSpeakerInput::Present() const { return monitors_ && monitors_->present(); }

int PulseSpeakerInput::ReleaseBuffer() {
  if (pendingBytes_ == 0) return 0;
  pending_ = nullptr;
  pendingBytes_ = 0;
  monitors_->Drop();
  return 0;
}

}  // namespace zav
