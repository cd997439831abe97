#pragma once
// A sample FIFO shared by one capture thread (writer) and the encoder thread (reader),
// with its lock and condition next to it.

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "FfmpegHandles.h"

namespace zav {

class SampleFifo {
 public:
  // Longest single wait on the condition; every waiter re-checks the stop flag after it.
  static constexpr int kWaitMs = 400;

  // The FIFO holds at most capacitySamples. Its memory grows with the most it has held,
  // so that a large capacity kept for bad moments costs nothing while the reader keeps up.
  int Create(AVSampleFormat format, int channels, int capacitySamples);
  bool exists() const { return fifo_ != nullptr; }

  int size() const;
  int space() const;

  // Writer that must not lose samples (microphone): waits while the FIFO is full, logging
  // "audio fifo space is not enough" each time; gives up when stop is set. True when written.
  bool WriteWaiting(void* const* data, int samples, const std::atomic<bool>& stop);
  // Writer that drops a chunk that does not fit (system sound), logging
  // "audio fifo not enough space". True when written.
  bool WriteOrDrop(void* const* data, int samples);
  // Reader: waits until `samples` are there, then reads exactly that many. False (nothing
  // read) when stop is set while waiting.
  bool ReadWaiting(void* const* data, int samples, const std::atomic<bool>& stop);
  // Reader: reads what is there, at most `samples`, without waiting. Returns the count.
  int ReadUpTo(void* const* data, int samples);
  // Reader: waits until `samples` are there, stop is set or active is cleared. Whoever sets
  // stop or clears active calls WakeAll afterwards; the flags are read under the lock, so
  // that wake-up is never missed.
  void WaitForSamples(int samples, const std::atomic<bool>& stop, const std::atomic<bool>& active);
  // Drops everything held.
  void Clear();
  // Wakes every waiter (used by Stop).
  void WakeAll();

 private:
  // Makes the allocation hold `samples` more (within the capacity). Under the lock.
  bool Reserve(int samples);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  AudioFifoPtr fifo_;
  int capacity_ = 0;
};

}  // namespace zav
