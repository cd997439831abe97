#pragma once
// Keeps the echo where the echo canceller's filter reaches it. The canceller cancels echoes
// that reach the microphone about 50 to 175 ms after the system sound it is handed
// (kEchoStartDelayMs and its 128 ms filter); its own delay estimate moves it elsewhere only
// after 10 to 15 s of far-end sound. Speakers with long buffers (Bluetooth, a network sink)
// and the way each source lands on the recording clock put the echo outside that span, so the
// aligner looks for the echo itself: every half second while the system sound plays it
// correlates the microphone's last second with the reference the canceller was handed, and
// when the echo lies outside the span (up to half a second behind the reference, or a little
// ahead of it) it moves the reference (`shift`) so that the echo lands in the middle of it.
//
// Samples at kProcessingRate; the search runs at 2 kHz. Used by the microphone thread only.

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct AVTXContext;

namespace zav {

// The echo found in a stretch of microphone audio: its delay behind the reference, in samples
// of the signals searched, how strongly the two correlate there (0..1), and the strongest
// correlation at the lags `apart` or more away from it.
struct EchoLag {
  int lag = 0;
  double correlation = 0;
  double runnerUp = 0;
};

// Where the reference best explains the microphone: the lag in [minLag, maxLag] that
// maximises the normalised correlation of microphone[i] with reference[i - lag], over
// microphone[from, from + count). Its transforms and working buffers are made once, for
// stretches of one length.
class EchoLagSearch {
 public:
  EchoLagSearch(int count, int minLag, int maxLag, int apart);
  ~EchoLagSearch();
  EchoLagSearch(const EchoLagSearch&) = delete;
  EchoLagSearch& operator=(const EchoLagSearch&) = delete;

  // The reference is indexed like the microphone and must hold [from - maxLag, from + count -
  // minLag). Nothing when either signal is silent over the stretch, or it does not fit.
  std::optional<EchoLag> Find(const std::vector<float>& microphone, const std::vector<float>& reference, int from);

 private:
  struct TxDeleter {
    void operator()(AVTXContext* context) const;
  };
  using TxFunction = void (*)(AVTXContext*, void*, void*, ptrdiff_t);

  const int count_, minLag_, maxLag_, apart_, size_;
  std::unique_ptr<AVTXContext, TxDeleter> forward_, inverse_;
  TxFunction runForward_ = nullptr, runInverse_ = nullptr;
  std::vector<std::complex<float>> mic_, ref_, micSpectrum_, refSpectrum_;
  std::vector<double> correlations_;
};

class EchoAligner {
 public:
  EchoAligner();

  // A block of kBlockSamples: the microphone before cancellation, and the reference the
  // canceller is handed with it. True when the shift changed.
  bool Add(const int16_t* microphone, const int16_t* reference);

  // How far back the reference is read for the canceller, in samples at kProcessingRate
  // (negative: ahead).
  int64_t shift() const { return shift_; }
  // The echo's delay behind the system sound at the last move, in ms.
  int foundDelayMs() const { return foundDelayMs_; }

 private:
  // Looks for the echo; true when the shift changed.
  bool Estimate();

  EchoLagSearch search_;
  std::vector<float> microphone_;  // at 2 kHz, the newest at the back
  std::vector<float> reference_;
  int sinceEstimate_ = 0;          // blocks
  std::optional<int> candidate_;   // the last estimate's delay (2 kHz samples), waiting to be confirmed
  int64_t shift_ = 0;
  int foundDelayMs_ = 0;
};

}  // namespace zav
