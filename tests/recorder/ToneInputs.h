#pragma once
// Capture inputs that generate sine tones at real-time pace, for driving the recorder's
// microphone and speaker threads without a sound server.
//
// The signal is a function of the wall clock (time since the backend's epoch), as a sound in
// the room is: two inputs that play bursts at the same moments play them at the same wall
// time, whatever their own clocks. Each input's clock may run fast or slow (speed).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "CaptureInputs.h"

namespace zav::test {

using ToneClock = std::chrono::steady_clock;

enum class Delivery { kFlow, kNothing, kHold, kHole };

// Until untilMs (since the backend's epoch) the input delivers as `delivery` says; after the
// last step it flows.
struct ScheduleStep {
  int untilMs;
  Delivery delivery;
};

struct ToneSettings {
  std::atomic<double> frequency{440.0};
  std::atomic<double> amplitude{0.5};  // of full scale
  std::atomic<bool> playing{true};     // speaker only: false = no packets at all
  std::atomic<bool> failReads{false};  // microphone only: the device is gone
  std::atomic<double> noise{0.0};      // amplitude of white noise added to the tone
  std::atomic<double> speed{1.0};      // the device's clock against the wall clock
  // When burstPeriodMs > 0 the tone sounds only from burstOffsetMs for burstMs in each period.
  std::atomic<int> burstPeriodMs{0};
  std::atomic<int> burstMs{0};
  std::atomic<int> burstOffsetMs{0};
  // Speaker only: packets are handed over this long after their sound was played.
  std::atomic<int> latencyMs{0};
  // Speaker only: when switchRate > 0, the device changes to this rate and channel count.
  std::atomic<int> switchRate{0};
  std::atomic<int> switchChannels{0};
  // Speaker only: Open takes this long (a server slow to answer), and counts the opens done.
  std::atomic<int> openDelayMs{0};
  std::atomic<int> opens{0};

  // Set before recording (not changed while inputs run).
  std::vector<ScheduleStep> schedule;
  // When not empty, what the input hears instead of the tone: samples at 44.1 kHz from the
  // epoch on (silence after them).
  std::vector<float> sound;

  // The signal at a wall-clock time (seconds since the epoch), without noise.
  double ValueAt(double seconds) const;
  Delivery DeliveryAt(double seconds) const;
};

class ToneMicrophoneInput final : public MicrophoneInput {
 public:
  ToneMicrophoneInput(ToneSettings& tone, CaptureFormat format, CaptureFormat reopenFormat, bool openFails,
                      ToneClock::time_point epoch)
      : tone_(tone), format_(format), reopenFormat_(reopenFormat), openFails_(openFails), epoch_(epoch) {}
  int Open(const CaptureFormat& wanted, const std::atomic<bool>& cancel) override;
  CaptureFormat Format() const override { return format_; }
  std::string FriendlyName() const override { return "Tone microphone"; }
  ReadResult Read(const void** data, int* frames) override;
  void Release() override {}
  void Flush() override;
  int Reopen() override;

 private:
  ToneSettings& tone_;
  CaptureFormat format_;
  CaptureFormat reopenFormat_;
  bool openFails_;
  ToneClock::time_point epoch_;
  ToneClock::time_point start_;
  int64_t delivered_ = 0;  // frames handed out or skipped since start_
  bool gone_ = false;
  uint32_t noiseState_ = 12345;
  std::vector<uint8_t> buffer_;
};

class ToneSpeakerInput final : public SpeakerInput {
 public:
  ToneSpeakerInput(ToneSettings& tone, int sampleRate, int channels, ToneClock::time_point epoch)
      : tone_(tone), format_{sampleRate, channels, /*AV_SAMPLE_FMT_S32*/ 2}, epoch_(epoch) {}
  int Open(const std::atomic<bool>& cancel) override;
  CaptureFormat Format() const override { return format_; }
  int NextPacketFrames() override;
  int GetBuffer(const void** data, int* frames) override;
  int ReleaseBuffer() override;

 private:
  int64_t DueFrames() const;
  int PendingFrames();

  ToneSettings& tone_;
  CaptureFormat format_;
  ToneClock::time_point epoch_;
  ToneClock::time_point start_;
  int64_t consumed_ = 0;  // frames handed out or skipped so far
  int pendingFrames_ = 0;
  bool pendingHole_ = false;
  int64_t heldForHole_ = 0;  // frames of a hole in progress
  std::vector<int32_t> buffer_;
};

class ToneBackend final : public CaptureBackend {
 public:
  ToneSettings mic;
  ToneSettings speaker;
  CaptureFormat micFormat{44100, 2, 1};
  CaptureFormat micReopenFormat{0, 0, 0};  // sampleRate 0: a reopened microphone keeps its format
  int speakerRate = 48000;
  int speakerChannels = 2;
  bool micOpenFails = false;
  const ToneClock::time_point epoch = ToneClock::now();

  ToneBackend() {
    mic.frequency = 440.0;
    speaker.frequency = 1000.0;
  }
  std::unique_ptr<MicrophoneInput> CreateMicrophone(const std::string& /*device*/) override {
    return std::make_unique<ToneMicrophoneInput>(mic, micFormat, micReopenFormat, micOpenFails, epoch);
  }
  std::unique_ptr<SpeakerInput> CreateSpeaker(const std::string& /*device*/) override {
    return std::make_unique<ToneSpeakerInput>(speaker, speakerRate, speakerChannels, epoch);
  }
};

}  // namespace zav::test
