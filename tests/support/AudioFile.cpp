#include "AudioFile.h"

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace zav::test {
namespace {

struct InputCloser { void operator()(AVFormatContext* c) const { avformat_close_input(&c); } };
struct CodecFree { void operator()(AVCodecContext* c) const { avcodec_free_context(&c); } };
struct FrameFree { void operator()(AVFrame* f) const { av_frame_free(&f); } };
struct PacketFree { void operator()(AVPacket* p) const { av_packet_free(&p); } };
struct SwrFree { void operator()(SwrContext* s) const { swr_free(&s); } };

}  // namespace

void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = -2 * std::numbers::pi / static_cast<double>(len);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (size_t k = 0; k < len / 2; ++k) {
        const auto u = a[i + k];
        const auto v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= step;
      }
    }
  }
}

DecodedAudio DecodeFile(const std::string& path) {
  DecodedAudio out;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
    out.error = "cannot open " + path;
    return out;
  }
  std::unique_ptr<AVFormatContext, InputCloser> input(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0) {
    out.error = "no stream info";
    return out;
  }
  const int index = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) {
    out.error = "no audio stream";
    return out;
  }
  if (raw->duration > 0) out.containerSeconds = static_cast<double>(raw->duration) / AV_TIME_BASE;
  const AVCodecParameters* par = raw->streams[index]->codecpar;
  const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
  std::unique_ptr<AVCodecContext, CodecFree> codec(avcodec_alloc_context3(decoder));
  if (!decoder || !codec || avcodec_parameters_to_context(codec.get(), par) < 0 ||
      avcodec_open2(codec.get(), decoder, nullptr) < 0) {
    out.error = "cannot open decoder";
    return out;
  }
  out.codec = decoder->name;
  out.sampleRate = codec->sample_rate;
  out.channels = codec->ch_layout.nb_channels;

  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  std::unique_ptr<SwrContext, SwrFree> swr;
  AVChannelLayout stereo;
  av_channel_layout_default(&stereo, 2);
  std::vector<float> interleaved;
  auto consume = [&](AVFrame* f) -> bool {
    if (!swr) {
      SwrContext* s = nullptr;
      if (swr_alloc_set_opts2(&s, &stereo, AV_SAMPLE_FMT_FLT, f->sample_rate, &f->ch_layout,
                              static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
          swr_init(s) < 0) {
        swr_free(&s);
        return false;
      }
      swr.reset(s);
    }
    interleaved.resize(static_cast<size_t>(f->nb_samples) * 2 + 64);
    uint8_t* dst = reinterpret_cast<uint8_t*>(interleaved.data());
    const int n = swr_convert(swr.get(), &dst, f->nb_samples + 32, const_cast<const uint8_t**>(f->extended_data),
                              f->nb_samples);
    for (int i = 0; i < n; ++i) {
      out.left.push_back(interleaved[2 * i]);
      out.right.push_back(interleaved[2 * i + 1]);
    }
    return n >= 0;
  };
  auto drain = [&]() -> bool {
    while (avcodec_receive_frame(codec.get(), frame.get()) == 0) {
      if (!consume(frame.get())) return false;
      av_frame_unref(frame.get());
    }
    return true;
  };
  while (av_read_frame(raw, packet.get()) >= 0) {
    if (packet->stream_index == index && avcodec_send_packet(codec.get(), packet.get()) >= 0 && !drain()) {
      out.error = "conversion failed";
      return out;
    }
    av_packet_unref(packet.get());
  }
  avcodec_send_packet(codec.get(), nullptr);
  drain();
  out.ok = true;
  return out;
}

double Rms(const std::vector<float>& samples, size_t begin, size_t end) {
  end = std::min(end, samples.size());
  if (begin >= end) return 0;
  double sum = 0;
  for (size_t i = begin; i < end; ++i) sum += static_cast<double>(samples[i]) * samples[i];
  return std::sqrt(sum / static_cast<double>(end - begin));
}

double Rms(const std::vector<float>& samples) { return Rms(samples, 0, samples.size()); }

double PeakFrequency(const std::vector<float>& samples, int sampleRate, size_t begin, size_t length) {
  size_t n = 1;
  while (n * 2 <= length) n *= 2;
  if (begin + n > samples.size()) return 0;
  std::vector<std::complex<double>> spectrum(n);
  for (size_t i = 0; i < n; ++i) {
    const double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n - 1));
    spectrum[i] = samples[begin + i] * window;
  }
  Fft(spectrum);
  size_t best = 1;
  for (size_t k = 1; k < n / 2; ++k) {
    if (std::abs(spectrum[k]) > std::abs(spectrum[best])) best = k;
  }
  return static_cast<double>(best) * sampleRate / static_cast<double>(n);
}

namespace {

// Goertzel amplitude of one stretch.
double AmplitudeOf(const std::vector<float>& samples, double w, size_t begin, size_t end) {
  double re = 0, im = 0;
  for (size_t i = begin; i < end; ++i) {
    re += samples[i] * std::cos(w * static_cast<double>(i));
    im -= samples[i] * std::sin(w * static_cast<double>(i));
  }
  return 2 * std::hypot(re, im) / static_cast<double>(end - begin);
}

}  // namespace

double ToneAmplitude(const std::vector<float>& samples, int sampleRate, double frequency, size_t begin, size_t end) {
  end = std::min(end, samples.size());
  if (begin >= end) return 0;
  const double w = 2 * std::numbers::pi * frequency / sampleRate;
  const size_t window = std::max<size_t>(static_cast<size_t>(sampleRate) / 10, 1);
  double weighted = 0;
  for (size_t from = begin; from < end; from += window) {
    const size_t to = std::min(end, from + window);
    weighted += AmplitudeOf(samples, w, from, to) * static_cast<double>(to - from);
  }
  return weighted / static_cast<double>(end - begin);
}

std::vector<double> Onsets(const std::vector<float>& samples, int sampleRate, double frequency, double threshold) {
  const size_t window = static_cast<size_t>(sampleRate) / 100;
  const size_t hop = static_cast<size_t>(sampleRate) / 400;
  std::vector<double> onsets;
  bool sounding = false;
  for (size_t begin = 0; begin + window <= samples.size(); begin += hop) {
    const double amplitude = ToneAmplitude(samples, sampleRate, frequency, begin, begin + window);
    if (!sounding && amplitude > threshold) {
      onsets.push_back((static_cast<double>(begin) + window / 2.0) / sampleRate);
      sounding = true;
    } else if (sounding && amplitude < threshold / 2) {
      sounding = false;
    }
  }
  return onsets;
}

}  // namespace zav::test
