#include "EchoAligner.h"

extern "C" {
#include <libavutil/tx.h>
}

#include <algorithm>
#include <cmath>
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
// wander in before it is moved again (ms). Every move costs the canceller a second or so of
// converging again, so an echo within its reach stays where it is: up to 165 ms (the filter
// reaches about 175), where 150 moved the echo of a 120 ms loopback, found 151-159 ms behind,
// in most recordings. The echo is put at 110 ms, the middle of the filter's reach: at 90 ms the
// echoes of 200 and 350 ms loopbacks were cancelled by 29-37 dB after 2 s, at 110 ms by 31-38.
constexpr int kTargetMs = 110;
constexpr int kLowestMs = 60;
constexpr int kHighestMs = 165;
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

int TransformSize(int length) {
  int size = 1;
  while (size < length) size *= 2;
  return size;
}

double Power(const float* samples, int count) {
  double sum = 0;
  for (int i = 0; i < count; ++i) sum += double{samples[i]} * samples[i];
  return sum;
}

}  // namespace

void EchoLagSearch::TxDeleter::operator()(AVTXContext* context) const { av_tx_uninit(&context); }

EchoLagSearch::EchoLagSearch(int count, int minLag, int maxLag, int apart)
    : count_(count),
      minLag_(minLag),
      maxLag_(maxLag),
      apart_(apart),
      size_(TransformSize(count + maxLag - minLag)),
      mic_(size_),
      ref_(size_),
      micSpectrum_(size_),
      refSpectrum_(size_),
      correlations_(static_cast<size_t>(std::max(maxLag - minLag + 1, 0))) {
  const float scale = 1.0f;
  AVTXContext* context = nullptr;
  if (av_tx_init(&context, &runForward_, AV_TX_FLOAT_FFT, 0, size_, &scale, AV_TX_UNALIGNED) >= 0)
    forward_.reset(context);
  context = nullptr;
  if (av_tx_init(&context, &runInverse_, AV_TX_FLOAT_FFT, 1, size_, &scale, AV_TX_UNALIGNED) >= 0)
    inverse_.reset(context);
}

EchoLagSearch::~EchoLagSearch() = default;

std::optional<EchoLag> EchoLagSearch::Find(const std::vector<float>& microphone, const std::vector<float>& reference,
                                           int from) {
  const int span = count_ + maxLag_ - minLag_;  // the reference stretch, from `from - maxLag`
  const int first = from - maxLag_;
  if (!forward_ || !inverse_ || count_ <= 0 || maxLag_ < minLag_ || first < 0 ||
      from + count_ > static_cast<int>(microphone.size()) || first + span > static_cast<int>(reference.size()))
    return std::nullopt;
  const double micPower = Power(microphone.data() + from, count_);
  if (micPower / count_ < kSilentPower || Power(reference.data() + first, span) / count_ < kSilentPower)
    return std::nullopt;

  // Cross-correlation by transform: c[k] = sum over i of mic[i] x ref[i + k], where lag = maxLag - k.
  std::fill(mic_.begin(), mic_.end(), 0.0f);
  std::fill(ref_.begin(), ref_.end(), 0.0f);
  std::copy_n(microphone.begin() + from, count_, mic_.begin());
  std::copy_n(reference.begin() + first, span, ref_.begin());
  constexpr ptrdiff_t kStride = sizeof(std::complex<float>);
  runForward_(forward_.get(), micSpectrum_.data(), mic_.data(), kStride);
  runForward_(forward_.get(), refSpectrum_.data(), ref_.data(), kStride);
  for (int i = 0; i < size_; ++i) micSpectrum_[i] = std::conj(micSpectrum_[i]) * refSpectrum_[i];
  runInverse_(inverse_.get(), mic_.data(), micSpectrum_.data(), kStride);

  // The reference's power under the window at each k, sliding.
  double refPower = Power(reference.data() + first, count_);
  int best = -1;
  for (int k = 0; k <= maxLag_ - minLag_; ++k) {
    if (k > 0) {
      const double leaving = ref_[k - 1].real(), entering = ref_[k + count_ - 1].real();
      refPower += entering * entering - leaving * leaving;
    }
    const bool heard = refPower / count_ >= kSilentPower;
    correlations_[k] = heard ? std::fabs(mic_[k].real() / size_) / std::sqrt(micPower * refPower) : 0.0;
    if (heard && (best < 0 || correlations_[k] > correlations_[best])) best = k;
  }
  if (best < 0) return std::nullopt;
  EchoLag found{maxLag_ - best, correlations_[best], 0};
  for (int k = 0; k <= maxLag_ - minLag_; ++k)
    if (std::abs(k - best) >= apart_) found.runnerUp = std::max(found.runnerUp, correlations_[k]);
  return found;
}

EchoAligner::EchoAligner() : search_(kWindow, -kAhead, kBehind, kApartMs * kSearchRate / 1000) {
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
  if (++sinceEstimate_ < kEstimateEveryBlocks || static_cast<int>(microphone_.size()) < kHistory) return false;
  sinceEstimate_ = 0;
  return Estimate();
}

bool EchoAligner::Estimate() {
  const std::optional<EchoLag> found = search_.Find(microphone_, reference_, kBehind);
  // A steady or repeating sound correlates almost as well at many lags: no place for the echo.
  if (!found || found->correlation < kLikelyCorrelation || found->runnerUp > kRunnerUpShare * found->correlation) {
    candidate_.reset();
    return false;
  }
  const bool agrees = candidate_ && MsOf(std::abs(*candidate_ - found->lag)) <= kAgreeMs;
  candidate_ = found->lag;
  if (found->correlation < kSureCorrelation && !agrees) return false;

  const int delayMs = MsOf(found->lag);
  if (delayMs >= kLowestMs && delayMs <= kHighestMs) return false;
  const int64_t perMs = kProcessingRate / 1000;
  const int64_t shiftMs = std::clamp<int64_t>(shift_ / perMs + delayMs - kTargetMs, -kAheadShiftMs, kLongestShiftMs);
  if (shiftMs * perMs == shift_) return false;
  foundDelayMs_ = static_cast<int>(shift_ / perMs) + delayMs;
  shift_ = shiftMs * perMs;
  // What was gathered was handed with the old shift.
  microphone_.clear();
  reference_.clear();
  candidate_.reset();
  return true;
}

}  // namespace zav
