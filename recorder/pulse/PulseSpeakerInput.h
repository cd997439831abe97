#pragma once
// System sound: a libpulse record stream on the monitor of the default sink, signed 32-bit
// interleaved at the sink's rate and channel count. Polled without blocking.
//
// When the sink goes away or another sink becomes the default, the stream follows the
// default sink (keeping its sample format; the server converts), so a recording goes on.

#include <chrono>
#include <string>

#include "CaptureInputs.h"
#include "pulse/PulseHandles.h"

namespace zav {

class PulseSpeakerInput final : public SpeakerInput {
 public:
  int Open() override;
  CaptureFormat Format() const override { return format_; }
  int NextPacketFrames() override;
  int GetBuffer(const void** data, int* frames) override;
  int ReleaseBuffer() override;

 private:
  bool QueryDefaultSink(std::string* sink, std::string* monitor, int* rate, int* channels);
  bool ConnectStream(const std::string& monitor);
  void Pump();
  void FollowDefaultSink();

  pulse::Connection connection_;
  pulse::StreamPtr stream_;
  pulse::OperationPtr defaultQuery_;
  std::string sink_;          // the default sink the stream records from
  std::string reportedSink_;  // filled by the periodic default-sink query
  CaptureFormat format_{44100, 2, /*AV_SAMPLE_FMT_S32*/ 2};
  int frameBytes_ = 8;
  bool peeked_ = false;
  std::chrono::steady_clock::time_point nextCheck_{};
};

}  // namespace zav
