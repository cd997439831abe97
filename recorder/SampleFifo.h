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
  // Wakes every waiter (used by Stop).
  void WakeAll();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  AudioFifoPtr fifo_;
};

}  // namespace zav
