#include "EchoAligner.h"

extern "C" {
#include <libavutil/tx.h>
}

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>

#include "VoiceProcessor.h"

namespace zav {
namespace {

constexpr int kSearchRate = 2000;
constexpr int kDecimation = kProcessingRate / kSearchRate;  // 16
constexpr int kBlockAtSearchRate = kBlockSamples / kDecimation;
constexpr int MsOf(int searchSamples) { return searchSamples * 1000 / kSearchRate; }

// The stretch searched: the microphone's last second but its newest 100 ms, against the
// reference from 500 ms before it to 100 ms after, so that the echo is found from 100 ms
// ahead of the reference to 500 ms behind it.
constexpr int kWindow = kSearchRate;
constexpr int kAhead = kSearchRate / 10;
constexpr int kBehind = kSearchRate / 2;
constexpr int kHistory = kBehind + kWindow + kAhead;
constexpr int kEstimateEveryBlocks = 50;  // 0.5 s

// Where the echo should lie behind the reference handed to the canceller, and the span it may
// wander in before it is moved again (ms).
constexpr int kTargetMs = 90;
constexpr int kLowestMs = 60;
constexpr int kHighestMs = 150;
// How far the reference may be read back (it is kept 2 s) or ahead (the microphone then waits
// that much longer for it, within kEchoReferencePatienceMs).
constexpr int kLongestShiftMs = 800;
constexpr int kAheadShiftMs = 100;

// An echo is taken as found at once above the first correlation; above the second only when
// the next estimate agrees within kAgreeMs.
constexpr double kSureCorrelation = 0.5;
constexpr double kLikelyCorrelation = 0.3;
constexpr int kAgreeMs = 10;
// The echo is placed only where no lag kApartMs or more away comes within kRunnerUpShare of it.
constexpr int kApartMs = 40;
constexpr double kRunnerUpShare = 0.8;
// Below this mean square (-60 dBFS) a signal is silent for the search.
constexpr double kSilentPower = 1e-6;

struct TxDeleter {
  void operator()(AVTXContext* c) const { av_tx_uninit(&c); }
};
using TxPtr = std::unique_ptr<AVTXContext, TxDeleter>;

struct Transform {
  TxPtr context;
  av_tx_fn run = nullptr;
};

Transform MakeTransform(int size, bool inverse) {
  Transform t;
  AVTXContext* context = nullptr;
  const float scale = 1.0f;
  if (av_tx_init(&context, &t.run, AV_TX_FLOAT_FFT, inverse ? 1 : 0, size, &scale, AV_TX_UNALIGNED) < 0) return {};
  t.context.reset(context);
  return t;
}

int TransformSize(int length) {
  int size = 1;
  while (size < length) size *= 2;
  return size;
}

}  // namespace

std::optional<EchoLag> FindEchoLag(const std::vector<float>& microphone, const std::vector<float>& reference, int from,
                                   int count, int minLag, int maxLag, int apart) {
  const int span = count + maxLag - minLag;  // the reference stretch, from `from - maxLag`
  const int first = from - maxLag;
  if (count <= 0 || maxLag < minLag || first < 0 || from + count > static_cast<int>(microphone.size()) ||
      first + span > static_cast<int>(reference.size()))
    return std::nullopt;

  const auto power = [](const float* samples, int n) {
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += double{samples[i]} * samples[i];
    return sum;
  };
  const double micPower = power(microphone.data() + from, count);
  if (micPower / count < kSilentPower || power(reference.data() + first, span) / count < kSilentPower)
    return std::nullopt;

  // Cross-correlation by transform: c[k] = sum over i of mic[i] x ref[i + k], where lag = maxLag - k.
  const int size = TransformSize(span);
  Transform forward = MakeTransform(size, false);
  Transform inverse = MakeTransform(size, true);
  if (!forward.run || !inverse.run) return std::nullopt;
  std::vector<std::complex<float>> mic(size), ref(size), micSpectrum(size), refSpectrum(size);
  for (int i = 0; i < count; ++i) mic[i] = microphone[from + i];
  for (int j = 0; j < span; ++j) ref[j] = reference[first + j];
  forward.run(forward.context.get(), micSpectrum.data(), mic.data(), sizeof(std::complex<float>));
  forward.run(forward.context.get(), refSpectrum.data(), ref.data(), sizeof(std::complex<float>));
  for (int i = 0; i < size; ++i) micSpectrum[i] = std::conj(micSpectrum[i]) * refSpectrum[i];
  inverse.run(inverse.context.get(), mic.data(), micSpectrum.data(), sizeof(std::complex<float>));

  // The reference's power under the window at each k, sliding.
  double refPower = 0;
  for (int j = 0; j < count; ++j) refPower += double{ref[j].real()} * ref[j].real();
  std::vector<double> correlations(static_cast<size_t>(maxLag - minLag + 1), 0.0);
  int best = -1;
  for (int k = 0; k <= maxLag - minLag; ++k) {
    if (k > 0) {
      const double leaving = ref[k - 1].real(), entering = ref[k + count - 1].real();
      refPower += entering * entering - leaving * leaving;
    }
    if (refPower / count < kSilentPower) continue;
    correlations[k] = std::fabs(mic[k].real() / size) / std::sqrt(micPower * refPower);
    if (best < 0 || correlations[k] > correlations[best]) best = k;
  }
  if (best < 0) return std::nullopt;
  EchoLag found{maxLag - best, correlations[best], 0};
  for (int k = 0; k <= maxLag - minLag; ++k)
    if (std::abs(k - best) >= apart) found.runnerUp = std::max(found.runnerUp, correlations[k]);
  return found;
}

EchoAligner::EchoAligner() {
  microphone_.reserve(kHistory + kBlockAtSearchRate);
  reference_.reserve(kHistory + kBlockAtSearchRate);
}

bool EchoAligner::Add(const int16_t* microphone, const int16_t* reference) {
  // Down to the search rate by averaging: enough for where the echo lies within a few ms.
  const auto append = [](std::vector<float>& to, const int16_t* samples) {
    for (int i = 0; i < kBlockAtSearchRate; ++i) {
      float sum = 0;
      for (int j = 0; j < kDecimation; ++j) sum += samples[i * kDecimation + j];
      to.push_back(sum / (kDecimation * 32768.0f));
    }
    if (static_cast<int>(to.size()) > kHistory) to.erase(to.begin(), to.end() - kHistory);
  };
  append(microphone_, microphone);
  append(reference_, reference);
  moved_ = false;
  if (++sinceEstimate_ >= kEstimateEveryBlocks && static_cast<int>(microphone_.size()) == kHistory) {
    sinceEstimate_ = 0;
    Estimate();
  }
  return moved_;
}

void EchoAligner::Estimate() {
  const std::optional<EchoLag> found =
      FindEchoLag(microphone_, reference_, kBehind, kWindow, -kAhead, kBehind, kApartMs * kSearchRate / 1000);
  // A steady or repeating sound correlates almost as well at many lags: no place for the echo.
  if (!found || found->correlation < kLikelyCorrelation || found->runnerUp > kRunnerUpShare * found->correlation) {
    candidate_.reset();
    return;
  }
  const bool agrees = candidate_ && MsOf(std::abs(*candidate_ - found->lag)) <= kAgreeMs;
  candidate_ = found->lag;
  if (found->correlation < kSureCorrelation && !agrees) return;

  const int delayMs = MsOf(found->lag);
  if (delayMs >= kLowestMs && delayMs <= kHighestMs) return;
  const int64_t perMs = kProcessingRate / 1000;
  const int64_t shiftMs = std::clamp<int64_t>(shift_ / perMs + delayMs - kTargetMs, -kAheadShiftMs, kLongestShiftMs);
  if (shiftMs * perMs == shift_) return;
  foundDelayMs_ = static_cast<int>(shift_ / perMs) + delayMs;
  shift_ = shiftMs * perMs;
  moved_ = true;
  // What was gathered was handed with the old shift.
  microphone_.clear();
  reference_.clear();
  candidate_.reset();
}

}  // namespace zav
