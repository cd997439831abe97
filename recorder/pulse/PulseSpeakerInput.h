#pragma once
// System sound: a libpulse record stream on the monitor of the default sink (or of a chosen
// sink), signed 32-bit stereo at the sink's rate. Polled without blocking.
//
// When the sink goes away, the sound server restarts or another sink becomes the default,
// the stream is opened again on the monitor of the default sink, in that sink's format
// (Format changes then), so a recording goes on. A chosen sink is waited for: when it comes
// back, it is recorded again.

#include <chrono>
#include <memory>
#include <string>

#include "CaptureInputs.h"
#include "pulse/PulseRecordStream.h"

namespace zav {

class PulseSpeakerInput final : public SpeakerInput {
 public:
  // sink: the server's name of the sink whose sound to record; empty to follow the default
  // sink wherever it goes.
  explicit PulseSpeakerInput(std::string sink = {}) : chosen_(std::move(sink)) {}

  int Open(const std::atomic<bool>& cancel) override;
  CaptureFormat Format() const override { return format_; }
  int NextPacketFrames() override;
  int GetBuffer(const void** data, int* frames) override;
  int ReleaseBuffer() override;
  bool Present() const override;

 private:
  bool OpenMonitor(std::chrono::milliseconds timeout, bool logFailures);
  // Opens the stream again when it was lost and, without a chosen sink, follows the default.
  void FollowSink();

  std::string chosen_;
  std::unique_ptr<pulse::RecordStream> stream_;
  pulse::OperationPtr defaultQuery_;
  std::string sink_;          // the sink the stream records from
  std::string reportedSink_;  // filled by the periodic default-sink query
  CaptureFormat format_{44100, 2, /*AV_SAMPLE_FMT_S32*/ 2};
  const void* pending_ = nullptr;  // the packet NextPacketFrames found, until released
  std::size_t pendingBytes_ = 0;
  std::chrono::steady_clock::time_point nextCheck_{};
};

}  // namespace zav
