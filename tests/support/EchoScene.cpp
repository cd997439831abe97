#include "EchoScene.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <random>

#include "AudioFile.h"

namespace zav::test {
namespace {

constexpr double kActiveRms = 0.1;  // -20 dBFS while talking
constexpr double kFarPitchHz = 120;
constexpr double kNearPitchHz = 210;

// A two-pole resonator: one formant.
class Resonator {
 public:
  void Set(double hz, double bandwidthHz, int rate) {
    const double r = std::exp(-std::numbers::pi * bandwidthHz / rate);
    a1_ = 2 * r * std::cos(2 * std::numbers::pi * hz / rate);
    a2_ = -r * r;
    gain_ = 1 - r;
  }
  double Step(double x) {
    const double y = gain_ * x + a1_ * y1_ + a2_ * y2_;
    y2_ = y1_;
    y1_ = y;
    return y;
  }

 private:
  double a1_ = 0, a2_ = 0, gain_ = 0, y1_ = 0, y2_ = 0;
};

// Speech-like talk filling [begin, end) of out.
void Talk(std::vector<float>& out, size_t begin, size_t end, int rate, unsigned seed, double pitchHz) {
  // Formants of six vowels (Hz).
  static constexpr double kVowels[][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {530, 1840, 2480},
                                          {570, 840, 2410},  {300, 870, 2240},  {660, 1720, 2410}};
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> uniform(0, 1);
  std::normal_distribution<double> noise(0, 1);
  Resonator f1, f2, f3;
  double phase = 0;
  std::vector<double> talk(end - begin, 0.0);
  size_t t = static_cast<size_t>(0.05 * rate);
  while (t < talk.size()) {
    const int syllables = 2 + static_cast<int>(random() % 4);
    for (int s = 0; s < syllables && t < talk.size(); ++s) {
      const size_t voiced = static_cast<size_t>((0.15 + 0.15 * uniform(random)) * rate);
      const size_t onset = uniform(random) < 0.4 ? static_cast<size_t>(0.05 * rate) : 0;
      const double* vowel = kVowels[random() % 6];
      f1.Set(vowel[0], 80, rate);
      f2.Set(vowel[1], 100, rate);
      f3.Set(vowel[2], 150, rate);
      const double pitchFrom = pitchHz * (0.9 + 0.25 * uniform(random));
      const double pitchTo = pitchHz * (0.85 + 0.25 * uniform(random));
      for (size_t i = 0; i < onset + voiced && t + i < talk.size(); ++i) {
        double x = 0;
        if (i < onset) {
          x = 0.15 * noise(random) * std::sin(std::numbers::pi * static_cast<double>(i) / onset);
        } else {
          const size_t k = i - onset;
          phase += (pitchFrom + (pitchTo - pitchFrom) * static_cast<double>(k) / voiced) / rate;
          if (phase >= 1) {
            phase -= 1;
            x = std::sin(std::numbers::pi * static_cast<double>(k) / voiced);
          }
        }
        talk[t + i] = f1.Step(x) + 0.6 * f2.Step(x) + 0.3 * f3.Step(x);
      }
      t += onset + voiced + static_cast<size_t>(0.03 * rate * uniform(random));
    }
    t += static_cast<size_t>((0.2 + 0.4 * uniform(random)) * rate);
  }
  // No hum below the voice; then the level while talking.
  const double b = std::exp(-2 * std::numbers::pi * 80.0 / rate);
  double high = 0, previous = 0, sum = 0;
  size_t active = 0;
  for (double& v : talk) {
    high = b * (high + v - previous);
    previous = v;
    v = high;
    if (std::fabs(v) > 1e-5) {
      sum += v * v;
      ++active;
    }
  }
  const double scale = active > 0 ? kActiveRms / std::sqrt(sum / static_cast<double>(active)) : 0;
  for (size_t i = 0; i < talk.size(); ++i) out[begin + i] = static_cast<float>(talk[i] * scale);
}

size_t IndexOf(double seconds, int rate) { return static_cast<size_t>(std::max(seconds, 0.0) * rate); }

}  // namespace

EchoScene MakeEchoScene(double farAloneSeconds, double nearAloneSeconds, double bothSeconds, int rate) {
  EchoScene scene;
  scene.rate = rate;
  scene.farAloneSeconds = farAloneSeconds;
  scene.nearAloneSeconds = nearAloneSeconds;
  scene.bothSeconds = bothSeconds;
  const size_t n = IndexOf(scene.seconds(), rate);
  scene.far.assign(n, 0.0f);
  scene.near.assign(n, 0.0f);
  Talk(scene.far, 0, IndexOf(farAloneSeconds, rate), rate, 7, kFarPitchHz);
  Talk(scene.far, IndexOf(scene.bothFrom(), rate), n, rate, 8, kFarPitchHz);
  Talk(scene.near, IndexOf(scene.nearFrom(), rate), n, rate, 11, kNearPitchHz);
  return scene;
}

EchoScene MakeCallScene() { return MakeEchoScene(5, 3, 4); }

bool WriteWav(const std::string& path, const std::vector<float>& samples, int rate) {
  std::ofstream file(path, std::ios::binary);
  const auto put32 = [&](uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
  const auto put16 = [&](uint16_t v) { file.write(reinterpret_cast<const char*>(&v), 2); };
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 4);
  file.write("RIFF", 4);
  put32(36 + dataBytes);
  file.write("WAVEfmt ", 8);
  put32(16);
  put16(1);  // PCM
  put16(2);
  put32(static_cast<uint32_t>(rate));
  put32(static_cast<uint32_t>(rate) * 4);
  put16(4);
  put16(16);
  file.write("data", 4);
  put32(dataBytes);
  for (float v : samples) {
    const auto s = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767));
    put16(static_cast<uint16_t>(s));
    put16(static_cast<uint16_t>(s));
  }
  return static_cast<bool>(file);
}

long FindOffset(const std::vector<float>& recorded, const std::vector<float>& signal, size_t maxLag) {
  if (recorded.empty() || signal.empty()) return -1;
  size_t n = 1;
  while (n < recorded.size() + signal.size()) n *= 2;
  std::vector<std::complex<double>> a(n), b(n);
  for (size_t i = 0; i < recorded.size(); ++i) a[i] = recorded[i];
  for (size_t i = 0; i < signal.size(); ++i) b[i] = signal[i];
  Fft(a);
  Fft(b);
  // Correlation by lag: the inverse transform of A x conj(B), done as a forward transform of
  // the conjugate.
  for (size_t i = 0; i < n; ++i) a[i] = std::conj(a[i] * std::conj(b[i]));
  Fft(a);
  long best = -1;
  double bestValue = 0;
  for (size_t lag = 0; lag <= std::min(maxLag, n - 1); ++lag) {
    if (a[lag].real() > bestValue) {
      bestValue = a[lag].real();
      best = static_cast<long>(lag);
    }
  }
  return best;
}

namespace {

// Sums over the span: signal x signal, recorded x signal, recorded x recorded.
struct Sums {
  double ss = 0, rs = 0, rr = 0;
  size_t count = 0;
};

Sums SumsOver(const std::vector<float>& recorded, const std::vector<float>* signal, const SceneSpan& span) {
  Sums sums;
  const size_t from = IndexOf(span.from, span.rate);
  const size_t to = IndexOf(span.to, span.rate);
  for (size_t i = from; i < to; ++i) {
    const long at = span.offset + static_cast<long>(i);
    if (at < 0 || static_cast<size_t>(at) >= recorded.size()) continue;
    const double r = recorded[static_cast<size_t>(at)];
    const double s = signal && i < signal->size() ? (*signal)[i] : 0.0;
    sums.ss += s * s;
    sums.rs += r * s;
    sums.rr += r * r;
    ++sums.count;
  }
  return sums;
}

double Db(double power) { return 10 * std::log10(std::max(power, 1e-12)); }

}  // namespace

double GainDb(const std::vector<float>& recorded, const std::vector<float>& signal, const SceneSpan& span) {
  const Sums s = SumsOver(recorded, &signal, span);
  if (s.ss <= 0 || s.rs <= 0) return -120;
  return 20 * std::log10(s.rs / s.ss);
}

double LevelDb(const std::vector<float>& recorded, const SceneSpan& span) {
  const Sums s = SumsOver(recorded, nullptr, span);
  return s.count > 0 ? Db(s.rr / static_cast<double>(s.count)) : -120;
}

}  // namespace zav::test
