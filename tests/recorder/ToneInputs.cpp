#include "ToneInputs.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace zav::test {
namespace {
constexpr int kMicPacketFrames = 441;       // 10 ms at 44100 Hz
constexpr int kSpeakerMinPacketFrames = 480;
constexpr int kSpeakerMaxPacketFrames = 4800;

double NextSample(double& phase, double frequency, int rate) {
  const double value = std::sin(phase);
  phase += 2 * std::numbers::pi * frequency / rate;
  if (phase > 2 * std::numbers::pi) phase -= 2 * std::numbers::pi;
  return value;
}
}  // namespace

int ToneMicrophoneInput::Open() {
  if (openFails_) return -1;
  Flush();
  return 0;
}

void ToneMicrophoneInput::Flush() {
  start_ = std::chrono::steady_clock::now();
  delivered_ = 0;
}

MicrophoneInput::ReadResult ToneMicrophoneInput::ReadFrame(AVFrame* frame) {
  const int packet = format_.sampleRate / 100;
  const auto due = start_ + std::chrono::microseconds((delivered_ + packet) * 1000000 / format_.sampleRate);
  std::this_thread::sleep_until(due);
  if (tone_.failReads) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Flush();
    return kReadFailed;
  }
  av_frame_unref(frame);
  frame->nb_samples = packet;
  frame->format = format_.sampleFormat;
  frame->sample_rate = format_.sampleRate;
  av_channel_layout_default(&frame->ch_layout, format_.channels);
  if (av_frame_get_buffer(frame, 0) < 0) return kDecodeFailed;
  const double amplitude = tone_.amplitude * 32767.0;
  const double frequency = tone_.frequency;
  const double noise = tone_.noise * 32767.0;
  auto* samples = reinterpret_cast<int16_t*>(frame->data[0]);
  for (int i = 0; i < packet; ++i) {
    noiseState_ = noiseState_ * 1664525u + 1013904223u;
    const double white = (static_cast<double>(noiseState_ >> 8) / 8388608.0) - 1.0;
    const double value = amplitude * NextSample(phase_, frequency, format_.sampleRate) + noise * white;
    const auto v = static_cast<int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
    for (int c = 0; c < format_.channels; ++c) samples[i * format_.channels + c] = v;
  }
  delivered_ += packet;
  return kOk;
}

int ToneSpeakerInput::Open() {
  start_ = std::chrono::steady_clock::now();
  consumed_ = 0;
  buffer_.resize(static_cast<size_t>(kSpeakerMaxPacketFrames) * format_.channels);
  return 0;
}

int64_t ToneSpeakerInput::DueFrames() const {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  return std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * format_.sampleRate / 1000000 -
         consumed_;
}

int ToneSpeakerInput::NextPacketFrames() {
  const int64_t due = DueFrames();
  if (!tone_.playing) {
    consumed_ += due;  // nothing plays: the time passes without packets
    return 0;
  }
  if (due < kSpeakerMinPacketFrames) return 0;
  return static_cast<int>(std::min<int64_t>(due, kSpeakerMaxPacketFrames));
}

int ToneSpeakerInput::GetBuffer(const void** data, int* frames) {
  pendingFrames_ = NextPacketFrames();
  const double amplitude = tone_.amplitude * 2147483647.0;
  const double frequency = tone_.frequency;
  for (int i = 0; i < pendingFrames_; ++i) {
    const auto v = static_cast<int32_t>(std::llround(amplitude * NextSample(phase_, frequency, format_.sampleRate)));
    for (int c = 0; c < format_.channels; ++c) buffer_[static_cast<size_t>(i) * format_.channels + c] = v;
  }
  *data = buffer_.data();
  *frames = pendingFrames_;
  return 0;
}

int ToneSpeakerInput::ReleaseBuffer() {
  consumed_ += pendingFrames_;
  pendingFrames_ = 0;
  return 0;
}

}  // namespace zav::test
