#include "ToneInputs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace zav::test {
namespace {

constexpr int kMaxReadFrames = 441;  // reads hand out 10 ms pieces at 44100 Hz, as the server does
constexpr int kSpeakerMinPacketFrames = 480;
constexpr int kSpeakerMaxPacketFrames = 4800;
// A hole in the stream spans far more than the time that passed, as a server's may.
constexpr int64_t kHoleExtraFrames = int64_t{2000} * 48000;

double Seconds(ToneClock::duration d) { return std::chrono::duration<double>(d).count(); }

// Frames a device at rate x speed has produced since start.
int64_t FramesSince(ToneClock::time_point start, int rate, double speed) {
  return static_cast<int64_t>(Seconds(ToneClock::now() - start) * rate * speed);
}

}  // namespace

double ToneSettings::ValueAt(double seconds) const {
  if (!sound.empty()) {
    // Between two samples: a clock of its own hears the sound between them.
    const double at = seconds * 44100;
    const auto i = static_cast<size_t>(std::max(at, 0.0));
    if (i + 1 >= sound.size()) return 0.0;
    const double part = at - static_cast<double>(i);
    return sound[i] * (1 - part) + sound[i + 1] * part;
  }
  const int period = burstPeriodMs;
  if (period > 0) {
    const double inPeriod = std::fmod(seconds * 1000.0 - burstOffsetMs, period);
    const double position = inPeriod < 0 ? inPeriod + period : inPeriod;
    if (position >= burstMs) return 0.0;
  }
  return amplitude * std::sin(2 * std::numbers::pi * frequency * seconds);
}

Delivery ToneSettings::DeliveryAt(double seconds) const {
  for (const ScheduleStep& step : schedule)
    if (seconds * 1000.0 < step.untilMs) return step.delivery;
  return Delivery::kFlow;
}

int ToneMicrophoneInput::Open(const CaptureFormat&, const std::atomic<bool>&) {
  if (openFails_) return -1;
  Flush();
  return 0;
}

void ToneMicrophoneInput::Flush() {
  start_ = ToneClock::now();
  delivered_ = 0;
}

int ToneMicrophoneInput::Reopen() {
  if (tone_.failReads) return -1;
  if (reopenFormat_.sampleRate > 0) format_ = reopenFormat_;
  gone_ = false;
  Flush();
  return 0;
}

MicrophoneInput::ReadResult ToneMicrophoneInput::Read(const void** data, int* frames) {
  *data = nullptr;
  *frames = 0;
  if (tone_.failReads) gone_ = true;  // a device that went away stays away until reopened
  if (gone_) return kGone;
  const double speed = tone_.speed;
  const int64_t due = FramesSince(start_, format_.sampleRate, speed) - delivered_;
  if (due <= 0) return kNone;
  switch (tone_.DeliveryAt(Seconds(ToneClock::now() - epoch_))) {
    case Delivery::kFlow:
      break;
    case Delivery::kHold:
      return kNone;  // what is due now is handed over once the hold ends
    case Delivery::kNothing:
    case Delivery::kHole:
      delivered_ += due;  // the time passes without audio
      return kNone;
  }
  const int count = static_cast<int>(std::min<int64_t>(due, kMaxReadFrames));
  const auto sampleFormat = static_cast<AVSampleFormat>(format_.sampleFormat);
  const int width = std::max(av_get_bytes_per_sample(sampleFormat), 2);
  buffer_.resize(static_cast<size_t>(count) * format_.channels * width);
  const double begin = Seconds(start_ - epoch_);
  const double noise = tone_.noise;
  for (int i = 0; i < count; ++i) {
    noiseState_ = noiseState_ * 1664525u + 1013904223u;
    const double white = (static_cast<double>(noiseState_ >> 8) / 8388608.0) - 1.0;
    const double t = begin + static_cast<double>(delivered_ + i) / (format_.sampleRate * speed);
    const double value = std::clamp(tone_.ValueAt(t) + noise * white, -1.0, 1.0);
    for (int c = 0; c < format_.channels; ++c) {
      uint8_t* out = buffer_.data() + (static_cast<size_t>(i) * format_.channels + c) * width;
      if (sampleFormat == AV_SAMPLE_FMT_FLT) {
        const float v = static_cast<float>(value);
        std::memcpy(out, &v, sizeof v);
      } else if (sampleFormat == AV_SAMPLE_FMT_S32) {
        const auto v = static_cast<int32_t>(std::lround(value * 2147483647.0));
        std::memcpy(out, &v, sizeof v);
      } else {
        const auto v = static_cast<int16_t>(std::lround(value * 32767.0));
        std::memcpy(out, &v, sizeof v);
      }
    }
  }
  delivered_ += count;
  *data = buffer_.data();
  *frames = count;
  return kOk;
}

int ToneSpeakerInput::Open(const std::atomic<bool>&) {
  std::this_thread::sleep_for(std::chrono::milliseconds(tone_.openDelayMs.exchange(0)));
  start_ = ToneClock::now();
  consumed_ = 0;
  ++tone_.opens;
  return 0;
}

int64_t ToneSpeakerInput::DueFrames() const {
  const int64_t latency = int64_t{tone_.latencyMs} * format_.sampleRate / 1000;
  return std::max<int64_t>(FramesSince(start_, format_.sampleRate, tone_.speed) - latency - consumed_, 0);
}

int ToneSpeakerInput::NextPacketFrames() {
  const int rate = tone_.switchRate.exchange(0);
  if (rate > 0) {
    format_.sampleRate = rate;
    format_.channels = tone_.switchChannels;
    Open(std::atomic<bool>{false});
  }
  return PendingFrames();
}

int ToneSpeakerInput::PendingFrames() {
  const int64_t due = DueFrames();
  const Delivery delivery = tone_.DeliveryAt(Seconds(ToneClock::now() - epoch_));
  if (!tone_.playing || delivery == Delivery::kNothing) {
    consumed_ += due;  // nothing plays: the time passes without packets
    return 0;
  }
  if (delivery == Delivery::kHold) return 0;
  if (delivery == Delivery::kHole) {
    heldForHole_ += due;
    consumed_ += due;
    return 0;
  }
  if (heldForHole_ > 0) {
    // The hole ends: one packet without data, as long as a machine's uptime.
    pendingHole_ = true;
    return static_cast<int>(std::min<int64_t>(heldForHole_ + kHoleExtraFrames, INT32_MAX));
  }
  if (due < kSpeakerMinPacketFrames) return 0;
  return static_cast<int>(std::min<int64_t>(due, kSpeakerMaxPacketFrames));
}

int ToneSpeakerInput::GetBuffer(const void** data, int* frames) {
  pendingFrames_ = PendingFrames();
  if (pendingHole_) {
    *data = nullptr;
    *frames = pendingFrames_;
    return 0;
  }
  buffer_.resize(static_cast<size_t>(pendingFrames_) * format_.channels);
  const double begin = Seconds(start_ - epoch_);
  const double rate = format_.sampleRate * tone_.speed;
  for (int i = 0; i < pendingFrames_; ++i) {
    const double t = begin + static_cast<double>(consumed_ + i) / rate;
    const auto v = static_cast<int32_t>(std::llround(tone_.ValueAt(t) * 2147483647.0));
    for (int c = 0; c < format_.channels; ++c) buffer_[static_cast<size_t>(i) * format_.channels + c] = v;
  }
  *data = buffer_.data();
  *frames = pendingFrames_;
  return 0;
}

int ToneSpeakerInput::ReleaseBuffer() {
  if (pendingHole_) {
    pendingHole_ = false;
    heldForHole_ = 0;
    pendingFrames_ = 0;
    return 0;
  }
  consumed_ += pendingFrames_;
  pendingFrames_ = 0;
  return 0;
}

}  // namespace zav::test
