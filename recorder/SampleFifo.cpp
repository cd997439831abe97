#include "SampleFifo.h"

#include <glog/logging.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "WakeSignal.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace zav {

namespace {
// The allocation grows in steps of this many samples, up to the capacity.
constexpr int kGrowthSamples = 4096;
}  // namespace

int SampleFifo::Create(AVSampleFormat format, int channels, int capacitySamples, WakeSignal* wake) {
  std::lock_guard lock(mutex_);
  capacity_ = std::max(capacitySamples, 1);
  format_ = format;
  channels_ = channels;
  wake_ = wake;
  taken_ = 0;
  writtenEnd_ = 0;
  fifo_.reset(av_audio_fifo_alloc(format, channels, std::min(capacity_, kGrowthSamples)));
  return fifo_ ? 0 : -1;
}

int SampleFifo::size() const {
  std::lock_guard lock(mutex_);
  return fifo_ ? av_audio_fifo_size(fifo_.get()) : 0;
}

int64_t SampleFifo::end() const {
  std::lock_guard lock(mutex_);
  return taken_ + (fifo_ ? av_audio_fifo_size(fifo_.get()) : 0);
}

bool SampleFifo::Reserve(int samples) {
  AVAudioFifo* f = fifo_.get();
  if (av_audio_fifo_space(f) >= samples) return true;
  const int needed = av_audio_fifo_size(f) + samples;
  if (needed > capacity_) return false;
  const int steps = (needed + kGrowthSamples - 1) / kGrowthSamples;
  return av_audio_fifo_realloc(f, std::min(capacity_, steps * kGrowthSamples)) >= 0;
}

bool SampleFifo::WriteSilenceLocked(int samples) {
  if (samples <= 0) return true;
  if (!Reserve(samples)) return false;
  // A short stack of silence written piece by piece: a gap is at most a few seconds.
  constexpr int kPieceSamples = 4096;
  uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
  int lineSize = 0;
  if (av_samples_alloc(planes, &lineSize, channels_, kPieceSamples, format_, 0) < 0) return false;
  av_samples_set_silence(planes, 0, kPieceSamples, channels_, format_);
  bool written = true;
  for (int left = samples; left > 0 && written;) {
    const int n = std::min(left, kPieceSamples);
    written = av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), n) == n;
    left -= n;
  }
  av_freep(&planes[0]);
  return written;
}

int64_t SampleFifo::PlaceArrival(int64_t arrivalEnd, int64_t samples, int64_t toleranceSamples) {
  std::unique_lock lock(mutex_);
  if (!fifo_) return 0;
  const int64_t end = taken_ + av_audio_fifo_size(fifo_.get());
  // Once the reader went past the source's own audio (silence stood in for it), nothing of the
  // source's is left to follow on from: the piece goes exactly where it arrived.
  const int64_t tolerance = taken_ > writtenEnd_ ? 0 : toleranceSamples;
  const Placement placement = zav::PlaceArrival(end, arrivalEnd, samples, tolerance);
  if (placement.silence > 0) {
    // More silence than the FIFO holds cannot be owed: the reader fills what it finds missing.
    const int room = capacity_ - av_audio_fifo_size(fifo_.get());
    WriteSilenceLocked(static_cast<int>(std::min<int64_t>(placement.silence, room)));
    writtenEnd_ = taken_ + av_audio_fifo_size(fifo_.get());
    lock.unlock();
    Notify();
  }
  return placement.drop;
}

bool SampleFifo::WriteWaiting(void* const* data, int samples, const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  if (!fifo_) return false;
  // Said once per wait: the reader (the encoder) has stopped taking, which it reports itself.
  if (capacity_ - av_audio_fifo_size(fifo_.get()) < samples) LOG(ERROR) << "audio fifo space is not enough";
  while (capacity_ - av_audio_fifo_size(fifo_.get()) < samples) {
    if (stop) return false;
    changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs));
  }
  const bool written =
      Reserve(samples) && av_audio_fifo_write(fifo_.get(), const_cast<void**>(data), samples) == samples;
  writtenEnd_ = taken_ + av_audio_fifo_size(fifo_.get());
  lock.unlock();
  Notify();
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
  writtenEnd_ = taken_ + av_audio_fifo_size(fifo_.get());
  lock.unlock();
  Notify();
  return written;
}

int SampleFifo::Take(void* const* data, int samples) {
  std::unique_lock lock(mutex_);
  if (!fifo_) return 0;
  const int read = std::max(av_audio_fifo_read(fifo_.get(), const_cast<void**>(data), samples), 0);
  taken_ += samples;
  lock.unlock();
  changed_.notify_all();  // a writer may be waiting for room
  return read;
}

void SampleFifo::Notify() {
  changed_.notify_all();
  if (wake_) wake_->NotifyDelivery();
}

void SampleFifo::WakeAll() {
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

}  // namespace zav
