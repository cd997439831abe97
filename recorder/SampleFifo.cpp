#include "SampleFifo.h"

#include <glog/logging.h>

#include <chrono>

#include "Trace.h"

namespace zav {

int SampleFifo::Create(AVSampleFormat format, int channels, int capacitySamples) {
  std::lock_guard lock(mutex_);
  fifo_.reset(av_audio_fifo_alloc(format, channels, capacitySamples));
  return fifo_ ? 0 : -1;
}

int SampleFifo::size() const {
  std::lock_guard lock(mutex_);
  return fifo_ ? av_audio_fifo_size(fifo_.get()) : 0;
}

int SampleFifo::space() const {
  std::lock_guard lock(mutex_);
  return fifo_ ? av_audio_fifo_space(fifo_.get()) : 0;
}

bool SampleFifo::WriteWaiting(void* const* data, int samples, const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  if (!fifo_) return false;
  while (av_audio_fifo_space(fifo_.get()) < samples) {
    LOG(ERROR) << "audio fifo space is not enough";
    if (stop) return false;
    changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs));
  }
  const bool written = av_audio_fifo_write(fifo_.get(), const_cast<void**>(data), samples) == samples;
  lock.unlock();
  changed_.notify_all();
  return written;
}

bool SampleFifo::WriteOrDrop(void* const* data, int samples) {
  std::unique_lock lock(mutex_);
  if (!fifo_) return false;
  if (av_audio_fifo_space(fifo_.get()) < samples) {
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

void SampleFifo::WakeAll() {
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

}  // namespace zav
