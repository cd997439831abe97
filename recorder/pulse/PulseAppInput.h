#pragma once
// System sound of chosen applications alone. On one connection to the sound server, every
// stream the applications play (a sink input, on whichever sink) gets a record stream of its
// own on that sink's monitor, limited to that one stream; what they deliver is mixed into one
// packet per poll. Streams that start during the recording are taken in when the server
// announces them; streams that end, move or pause leave silence, which the recorder fills.
//
// A stream limited to one sink input gets nothing from a sink that renders far ahead (a null
// sink, or any at its default latency, renders 2 s blocks) until its next block, so every
// sink's monitor also has a plain low-latency reader, whose audio is dropped, while recording.
//
// Packets are signed 32-bit stereo at 44.1 kHz whatever the sinks run at (the server
// converts), so the format never changes while the applications come and go.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CaptureInputs.h"
#include "pulse/PulseHandles.h"

namespace zav {
namespace pulse {
class SinkMonitors;
}

class PulseAppInput final : public SpeakerInput {
 public:
  // applications: keys as IsApplication understands them (a program's file name or an
  // application's name).
  explicit PulseAppInput(std::vector<std::string> applications);
  ~PulseAppInput() override;

  int Open(const std::atomic<bool>& cancel) override;
  CaptureFormat Format() const override;
  int NextPacketFrames() override;
  int GetBuffer(const void** data, int* frames) override;
  int ReleaseBuffer() override;
  // True once one of the applications played: one that played nothing during the whole
  // recording is reported as a device that went away; also false while the server is gone.
  bool Present() const override;

 private:
  struct Tap;

  bool Connect(std::chrono::milliseconds timeout);
  // Asks the server which streams play now and starts or ends taps to match.
  void Refresh();
  // Moves what every tap delivered into its queue.
  void Drain(int64_t nowMs);
  // Mixes what all taps that deliver have in common into mixed_; its frame count.
  int Mix(int64_t nowMs);

  std::vector<std::string> applications_;
  const std::atomic<bool>* cancel_ = nullptr;
  std::unique_ptr<pulse::SinkMonitors> sinks_;  // keeps every sink rendering in short blocks
  pulse::Connection connection_;
  std::vector<std::unique_ptr<Tap>> taps_;
  bool changed_ = true;  // the server announced a change of its streams or sinks
  bool played_ = false;
  std::chrono::steady_clock::time_point nextRefresh_{};
  std::chrono::steady_clock::time_point nextConnect_{};
  std::vector<int32_t> mixed_;  // the pending packet
  int mixedFrames_ = 0;
};

}  // namespace zav
