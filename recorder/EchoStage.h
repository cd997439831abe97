#pragma once
// The microphone's side of echo cancellation. The microphone's 32 kHz mono samples wait here,
// block by block, until the system sound heard at the block's moment has reached the reference
// (the speaker thread delivers it a poll or so later); each block then goes to the processor
// with that sound. A reference that does not come (nothing playing, no output, a failed
// capture) holds a block back at most `patience`, and once it has let a block go without its
// sound, blocks go at once until the reference delivers again: the microphone never stalls.
//
// The stage keeps where the microphone's audio lies on the recording clock, drift correction
// included: a block becomes kOutputBlockSamples x (1 + correction) samples of the file, as the
// microphone's converter stretches it, so that the block and the reference meet at the
// position the microphone has in the file.
//
// Where the echo lies behind the system sound depends on the speakers and on how each source
// lands on the recording clock: the stage reads the reference as far back as its aligner
// (EchoAligner) says, so that the echo stays within the canceller's reach.
//
// Positions: samples at the output rate on the recording clock; the reference is read at the
// processing rate. Used by the microphone thread only.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "EchoAligner.h"
#include "ReferenceBuffer.h"
#include "VoiceProcessor.h"

namespace zav {

// A 10 ms block at the output rate (kBlockSamples at kProcessingRate).
inline constexpr int kOutputBlockSamples = 441;

class EchoStage {
 public:
  // Processes a block of kBlockSamples in place with the system sound of its moment; false
  // when it failed (the block is then silence).
  using BlockProcessor = std::function<bool(int16_t* block, const int16_t* farEnd)>;

  // patience: how long, in output samples past a block's end, it waits for its reference.
  EchoStage(const ReferenceBuffer& reference, int64_t patience) : reference_(reference), patience_(patience) {}

  bool anchored() const { return anchored_; }
  // The audio handed in from now on lies from `position` on; what is pending is dropped. For
  // the first piece, and after a gap or a cut.
  void Anchor(int64_t position);
  // Where the audio handed in so far ends, in output samples.
  int64_t end() const;
  int pendingSamples() const { return static_cast<int>(pending_.size()); }

  void Append(const int16_t* samples, int count);
  // Processes the whole blocks whose reference has arrived, or that waited for it long enough,
  // now that the clock stands at `clock`; every whole block when `all`. Their samples are
  // appended to out. correction: the drift correction the blocks are converted with
  // (ClockDrift). False when a block failed.
  bool Release(int64_t clock, double correction, bool all, const BlockProcessor& process, std::vector<int16_t>* out);

 private:
  const ReferenceBuffer& reference_;
  const int64_t patience_;
  std::vector<int16_t> pending_;
  double position_ = 0;      // where the first pending sample lies
  bool anchored_ = false;
  int64_t quietEnd_ = -1;    // the reference's end when a block last went without it; -1: it delivers
  std::array<int16_t, kBlockSamples> farEnd_{};
  EchoAligner aligner_;
};

// The reference position (at the processing rate) of an output-rate clock position.
inline int64_t ReferencePosition(double outputPosition) {
  return static_cast<int64_t>(outputPosition * kBlockSamples / kOutputBlockSamples);
}

}  // namespace zav
