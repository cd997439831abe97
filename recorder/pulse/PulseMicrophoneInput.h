#pragma once
// The microphone through FFmpeg's "pulse" input device, opened with the server name of the
// first capture device (the default source first), asked for 44100 Hz stereo s16.

#include "CaptureInputs.h"
#include "FfmpegHandles.h"

namespace zav {

class PulseMicrophoneInput final : public MicrophoneInput {
 public:
  int Open() override;
  CaptureFormat Format() const override { return format_; }
  ReadResult ReadFrame(AVFrame* frame) override;
  void Flush() override;
  int Reopen() override;

 private:
  void Close();

  InputFormatContextPtr input_;
  CodecContextPtr decoder_;
  PacketPtr packet_;
  int streamIndex_ = -1;
  CaptureFormat format_;
};

}  // namespace zav
