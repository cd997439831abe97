#include "SampleFifo.h"

#include <glog/logging.h>

#include <algorithm>
#include <chrono>

#include "Trace.h"

namespace zav {

namespace {
// The allocation grows in steps of this many samples, up to the capacity.
constexpr int kGrowthSamples = 4096;
}  // namespace

int SampleFifo::Create(AVSampleFormat format, int channels, int capacitySamples) {
  std::lock_guard lock(mutex_);
  capacity_ = std::max(capacitySamples, 1);
  fifo_.reset(av_audio_fifo_alloc(format, channels, std::min(capacity_, kGrowthSamples)));
  return fifo_ ? 0 : -1;
}

int SampleFifo::size() const {
  std::lock_guard lock(mutex_);
  return fifo_ ? av_audio_fifo_size(fifo_.get()) : 0;
}

int SampleFifo::space() const {
  std::lock_guard lock(mutex_);
  return fifo_ ? capacity_ - av_audio_fifo_size(fifo_.get()) : 0;
}

bool SampleFifo::Reserve(int samples) {
  AVAudioFifo* f = fifo_.get();
  if (av_audio_fifo_space(f) >= samples) return true;
  const int needed = av_audio_fifo_size(f) + samples;
  if (needed > capacity_) return false;
  const int steps = (needed + kGrowthSamples - 1) / kGrowthSamples;
  return av_audio_fifo_realloc(f, std::min(capacity_, steps * kGrowthSamples)) >= 0;
}

bool SampleFifo::WriteWaiting(void* const* data, int samples, const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  if (!fifo_) return false;
  while (capacity_ - av_audio_fifo_size(fifo_.get()) < samples) {
    LOG(ERROR) << "audio fifo space is not enough";
    if (stop) return false;
    changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs));
  }
  const bool written =
      Reserve(samples) && av_audio_fifo_write(fifo_.get(), const_cast<void**>(data), samples) == samples;
  lock.unlock();
  changed_.notify_all();
  return written;
}

bool SampleFifo::WriteOrDrop(void* const* data, int samples) {
  std::unique_lock lock(mutex_);
  if (!fifo_) return false;
  if (!Reserve(samples)) {
    lock.unlock();
    LOG(ERROR) << "audio fifo not enough space";
    return false;
  }
  const bool written = av_audio_fifo_write(fifo_.get(), const_cast<void**>(data), samples) == samples;
  lock.unlock();
  changed_.notify_all();
  return written;
}

bool SampleFifo::ReadWaiting(void* const* data, int samples, const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  if (!fifo_) return false;
  while (av_audio_fifo_size(fifo_.get()) < samples) {
    Trace("audio fifo is empty, lock\n");
    if (stop) {
      lock.unlock();
      changed_.notify_all();
      return false;
    }
    changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs));
    Trace("audio fifo is empty, unlock\n");
  }
  const bool read = av_audio_fifo_read(fifo_.get(), const_cast<void**>(data), samples) == samples;
  lock.unlock();
  changed_.notify_all();
  return read;
}

int SampleFifo::ReadUpTo(void* const* data, int samples) {
  std::unique_lock lock(mutex_);
  if (!fifo_) return 0;
  const int read = av_audio_fifo_read(fifo_.get(), const_cast<void**>(data), samples);
  lock.unlock();
  changed_.notify_all();
  return read > 0 ? read : 0;
}

void SampleFifo::WaitForSamples(int samples, const std::atomic<bool>& stop, const std::atomic<bool>& active) {
  std::unique_lock lock(mutex_);
  while (fifo_ && av_audio_fifo_size(fifo_.get()) < samples && !stop && active)
    changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs));
}

void SampleFifo::Clear() {
  {
    std::lock_guard lock(mutex_);
    if (fifo_) av_audio_fifo_reset(fifo_.get());
  }
  changed_.notify_all();
}

void SampleFifo::WakeAll() {
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

}  // namespace zav
