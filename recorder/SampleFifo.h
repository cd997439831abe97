#pragma once
// A source's audio on the recording clock: a sample FIFO shared by one capture thread (writer)
// and the encoder thread (reader), with its lock next to it. The FIFO holds the source's audio
// for the clock positions [taken, end): the reader takes frame after frame and gets silence
// where the source delivered nothing; the writer places each piece by the time it arrived
// (see Timeline.h).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "FfmpegHandles.h"
#include "Timeline.h"

namespace zav {

class WakeSignal;

class SampleFifo {
 public:
  // Longest single wait on the condition; every waiter re-checks the stop flag after it.
  static constexpr int kWaitMs = 400;

  // The FIFO holds at most capacitySamples. Its memory grows with the most it has held,
  // so that a large capacity kept for bad moments costs nothing while the reader keeps up.
  // wake (may be null, outlives the FIFO) is notified after every write.
  int Create(AVSampleFormat format, int channels, int capacitySamples, WakeSignal* wake = nullptr);
  bool exists() const { return fifo_ != nullptr; }

  int size() const;
  // The clock position where the source's audio ends: what the reader took plus what is held.
  int64_t end() const;

  // Writer: places a piece of `samples` that arrived when the clock stood at arrivalEnd
  // (PlaceArrival, within toleranceSamples). The silence before it is queued here; the caller
  // cuts the returned number of samples from the piece's start and then writes the rest.
  // Nothing is placed before the reader's position: a late piece loses what is already taken.
  // After the source ran dry (the reader filled silence past its audio), the piece goes
  // exactly where it arrived.
  int64_t PlaceArrival(int64_t arrivalEnd, int64_t samples, int64_t toleranceSamples);

  // Writer that must not lose samples (microphone): waits while the FIFO is full, logging
  // "audio fifo space is not enough" once; gives up when stop is set. True when written.
  bool WriteWaiting(void* const* data, int samples, const std::atomic<bool>& stop);
  // Writer that drops a piece that does not fit (system sound), logging
  // "audio fifo not enough space". True when written.
  bool WriteOrDrop(void* const* data, int samples);
  // Reader: the next `samples` of the source, without waiting: reads what is held, at most
  // `samples`, and returns that count; the rest of the span is the caller's silence. The
  // reader's position moves on by `samples` either way.
  int Take(void* const* data, int samples);
  // Wakes every waiting writer (used by Stop).
  void WakeAll();

 private:
  // Makes the allocation hold `samples` more (within the capacity). Under the lock.
  bool Reserve(int samples);
  // Queues silence. Under the lock; false when it does not fit.
  bool WriteSilenceLocked(int samples);
  void Notify();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  AudioFifoPtr fifo_;
  AVSampleFormat format_ = AV_SAMPLE_FMT_NONE;
  int channels_ = 0;
  int capacity_ = 0;
  int64_t taken_ = 0;       // the reader's clock position
  int64_t writtenEnd_ = 0;  // where the writer's last piece ended
  WakeSignal* wake_ = nullptr;
};

}  // namespace zav
