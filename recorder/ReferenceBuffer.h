#pragma once
// The system sound the speakers played, handed from the speaker thread to the microphone
// thread as the echo canceller's reference: 32 kHz mono 16-bit samples keyed by their position
// on the recording clock (samples at kProcessingRate since Start, unpaused), so that each
// microphone block meets the far-end sound that was heard at its moment.
//
// The writer places each piece by the time it arrived, as every capture source is placed
// (Timeline.h): pieces that follow on within the tolerance go end to end, a late piece leaves
// a gap that reads as silence, an early one loses the part for positions already written.
// Only the newest capacity's worth is kept; anything older or never written reads as silence.
//
// Threads: Place from the speaker thread, end and Read from the microphone thread.

#include <cstdint>
#include <mutex>
#include <vector>

namespace zav {

class ReferenceBuffer {
 public:
  explicit ReferenceBuffer(int capacitySamples);

  // Places `count` samples that arrived when the clock stood at arrivalEnd (in samples at
  // the reference's rate), within toleranceSamples of following on.
  void Place(int64_t arrivalEnd, const int16_t* samples, int count, int64_t toleranceSamples);
  // The position after the newest sample placed.
  int64_t end() const;
  // The samples for the positions [position, position + count), silence where none are held.
  void Read(int64_t position, int16_t* out, int count) const;

 private:
  // Writes samples at [position, position + count), which starts at end_ or after it. Under the lock.
  void WriteLocked(int64_t position, const int16_t* samples, int count);

  mutable std::mutex mutex_;
  std::vector<int16_t> ring_;  // position p lives at p % capacity
  int64_t start_ = 0;          // the oldest position held
  int64_t end_ = 0;
};

}  // namespace zav
