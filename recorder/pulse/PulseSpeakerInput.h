#pragma once
// System sound: a libpulse record stream on the monitor of the default sink, signed 32-bit
// interleaved at the sink's rate and channel count. Polled without blocking.
//
// When the sink goes away, the sound server restarts or another sink becomes the default,
// the stream is opened again on the monitor of the default sink, in that sink's format
// (Format changes then), so a recording goes on.

#include <chrono>
#include <memory>
#include <string>

#include "CaptureInputs.h"
#include "pulse/PulseRecordStream.h"

namespace zav {

class PulseSpeakerInput final : public SpeakerInput {
 public:
  int Open(const std::atomic<bool>& cancel) override;
  CaptureFormat Format() const override { return format_; }
  int NextPacketFrames() override;
  int GetBuffer(const void** data, int* frames) override;
  int ReleaseBuffer() override;

 private:
  bool OpenDefaultMonitor(std::chrono::milliseconds timeout, bool logFailures);
  void FollowDefaultSink();

  std::unique_ptr<pulse::RecordStream> stream_;
  pulse::OperationPtr defaultQuery_;
  std::string sink_;          // the default sink the stream records from
  std::string reportedSink_;  // filled by the periodic default-sink query
  CaptureFormat format_{44100, 2, /*AV_SAMPLE_FMT_S32*/ 2};
  const void* pending_ = nullptr;  // the packet NextPacketFrames found, until released
  std::size_t pendingBytes_ = 0;
  std::chrono::steady_clock::time_point nextCheck_{};
};

}  // namespace zav
