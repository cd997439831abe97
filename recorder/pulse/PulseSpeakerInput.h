#pragma once
// System sound: the monitor of the default sink (or of a chosen sink), signed 32-bit stereo at
// the sink's rate, read through SinkMonitors. Polled without blocking.
//
// When another sink becomes the default, the input hands out that sink's monitor at once (it
// was read all along), in that sink's format (Format changes then). When the sink goes away
// or the sound server restarts, the recording goes on; a chosen sink is waited for and
// recorded again when it comes back. For a level meter the other sinks' readers are corked:
// cheaper, and a switch then loses a few tens of milliseconds.

#include <memory>
#include <string>

#include "CaptureInputs.h"
#include "pulse/SinkMonitors.h"

namespace zav {

class PulseSpeakerInput final : public SpeakerInput {
 public:
  // sink: the server's name of the sink whose sound to record; empty to follow the default
  // sink wherever it goes.
  explicit PulseSpeakerInput(std::string sink = {}, SystemSoundUse use = SystemSoundUse::kRecording)
      : chosen_(std::move(sink)), use_(use) {}

  int Open(const std::atomic<bool>& cancel) override;
  CaptureFormat Format() const override { return format_; }
  int NextPacketFrames() override;
  int GetBuffer(const void** data, int* frames) override;
  int ReleaseBuffer() override;
  bool Present() const override;

 private:
  int frameBytes() const;

  std::string chosen_;
  SystemSoundUse use_;
  std::unique_ptr<pulse::SinkMonitors> monitors_;
  CaptureFormat format_{44100, 2, /*AV_SAMPLE_FMT_S32*/ 2};
  const void* pending_ = nullptr;  // the packet NextPacketFrames found, until released
  std::size_t pendingBytes_ = 0;
};

}  // namespace zav
