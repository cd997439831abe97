#pragma once
// Capture inputs that generate sine tones at real-time pace, for driving the recorder's
// microphone and speaker threads without a sound server.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "CaptureInputs.h"

namespace zav::test {

struct ToneSettings {
  std::atomic<double> frequency{440.0};
  std::atomic<double> amplitude{0.5};  // of full scale
  std::atomic<bool> playing{true};     // speaker only: false = no packets at all
  std::atomic<bool> failReads{false};  // microphone only: reads fail (device gone)
  std::atomic<double> noise{0.0};      // amplitude of white noise added to the tone
};

class ToneMicrophoneInput final : public MicrophoneInput {
 public:
  ToneMicrophoneInput(ToneSettings& tone, CaptureFormat format, bool openFails = false)
      : tone_(tone), format_(format), openFails_(openFails) {}
  int Open() override;
  CaptureFormat Format() const override { return format_; }
  ReadResult ReadFrame(AVFrame* frame) override;
  void Flush() override;
  int Reopen() override { return tone_.failReads ? -1 : 0; }

 private:
  ToneSettings& tone_;
  CaptureFormat format_;
  bool openFails_;
  std::chrono::steady_clock::time_point start_;
  int64_t delivered_ = 0;
  double phase_ = 0;
  uint32_t noiseState_ = 12345;
};

class ToneSpeakerInput final : public SpeakerInput {
 public:
  ToneSpeakerInput(ToneSettings& tone, int sampleRate, int channels)
      : tone_(tone), format_{sampleRate, channels, /*AV_SAMPLE_FMT_S32*/ 2} {}
  int Open() override;
  CaptureFormat Format() const override { return format_; }
  int NextPacketFrames() override;
  int GetBuffer(const void** data, int* frames) override;
  int ReleaseBuffer() override;

 private:
  int64_t DueFrames() const;

  ToneSettings& tone_;
  CaptureFormat format_;
  std::chrono::steady_clock::time_point start_;
  int64_t consumed_ = 0;  // frames handed out or skipped so far
  int pendingFrames_ = 0;
  std::vector<int32_t> buffer_;
  double phase_ = 0;
};

class ToneBackend final : public CaptureBackend {
 public:
  ToneSettings mic;
  ToneSettings speaker;
  CaptureFormat micFormat{44100, 2, 1};
  int speakerRate = 48000;
  int speakerChannels = 2;
  bool micOpenFails = false;

  ToneBackend() {
    mic.frequency = 440.0;
    speaker.frequency = 1000.0;
  }
  std::unique_ptr<MicrophoneInput> CreateMicrophone() override {
    return std::make_unique<ToneMicrophoneInput>(mic, micFormat, micOpenFails);
  }
  std::unique_ptr<SpeakerInput> CreateSpeaker() override {
    return std::make_unique<ToneSpeakerInput>(speaker, speakerRate, speakerChannels);
  }
};

}  // namespace zav::test
