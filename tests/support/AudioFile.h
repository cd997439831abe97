#pragma once
// Reads a recorded file back for checks: decoded samples, duration, tone content.

#include <complex>
#include <string>
#include <vector>

namespace zav::test {

struct DecodedAudio {
  bool ok = false;
  std::string error;
  std::string codec;              // decoder name, e.g. "mp3float", "aac", "pcm_s16le"
  int sampleRate = 0;
  int channels = 0;
  double containerSeconds = 0;    // duration the container announces (0 when none)
  std::vector<float> left;        // decoded samples, channel 0
  std::vector<float> right;       // channel 1 (a copy of left for mono)

  double seconds() const { return sampleRate > 0 ? static_cast<double>(left.size()) / sampleRate : 0; }
};

DecodedAudio DecodeFile(const std::string& path);

// In-place radix-2 FFT; the size must be a power of two.
void Fft(std::vector<std::complex<double>>& a);

// Root mean square of samples [begin, end).
double Rms(const std::vector<float>& samples, size_t begin, size_t end);
double Rms(const std::vector<float>& samples);

// Frequency (Hz) of the largest peak of the magnitude spectrum of samples [begin, begin + 2^k).
double PeakFrequency(const std::vector<float>& samples, int sampleRate, size_t begin = 0, size_t length = 16384);

// Relative strength of a frequency in samples [begin, end): the amplitude of the sine at
// that frequency (Goertzel), e.g. 0.5 for a half-scale tone. Measured on 100 ms stretches and
// averaged, so that a pitch a fraction of a percent off (a corrected clock) or a jump in
// phase (a short gap) does not hide a tone that is there.
double ToneAmplitude(const std::vector<float>& samples, int sampleRate, double frequency, size_t begin, size_t end);

// Times (seconds into the samples) at which a tone of `frequency` starts sounding above
// `threshold` (an amplitude as ToneAmplitude gives), judged on 10 ms windows every 2.5 ms.
std::vector<double> Onsets(const std::vector<float>& samples, int sampleRate, double frequency, double threshold);

}  // namespace zav::test
