#pragma once
// The microphone: a libpulse record stream on the microphone source (the default source, or
// the first capture device when the default is the monitor of a sink; or a source named by
// the caller), in the format the recorder asks for, which the server converts to.
//
// The stream is never moved: when the microphone goes away, Read says so and Reopen looks
// for a microphone again, never recording the monitor of the speakers in its place.

#include <memory>
#include <string>
#include <vector>

#include "CaptureInputs.h"
#include "pulse/PulseRecordStream.h"

namespace zav {

class PulseMicrophoneInput final : public MicrophoneInput {
 public:
  // source: the server's name of the source to record; empty for the microphone.
  explicit PulseMicrophoneInput(std::string source = {}) : named_(std::move(source)) {}

  int Open(const CaptureFormat& wanted, const std::atomic<bool>& cancel) override;
  CaptureFormat Format() const override { return format_; }
  std::string FriendlyName() const override { return description_; }
  std::string DeviceName() const override { return sourceName_; }
  int DeliveryMs() const override { return deliveryMs_; }
  ReadResult Read(const void** data, int* frames) override;
  void Release() override;
  void Flush() override;
  int Reopen() override;

 private:
  bool Connect(std::chrono::milliseconds timeout, bool logFailures);

  std::string named_;
  std::unique_ptr<pulse::RecordStream> stream_;
  pulse::StreamFormat streamFormat_;
  CaptureFormat format_;
  std::string sourceName_;
  std::string description_;
  int deliveryMs_ = 0;
  std::vector<uint8_t> hole_;  // zeros handed out for a hole in the stream
};

}  // namespace zav
