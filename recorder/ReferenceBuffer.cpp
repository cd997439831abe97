#include "ReferenceBuffer.h"

#include <algorithm>

#include "Timeline.h"

namespace zav {

ReferenceBuffer::ReferenceBuffer(int capacitySamples) : ring_(static_cast<size_t>(std::max(capacitySamples, 1))) {}

void ReferenceBuffer::Place(int64_t arrivalEnd, const int16_t* samples, int count, int64_t toleranceSamples) {
  if (count <= 0) return;
  std::lock_guard lock(mutex_);
  const Placement placement = PlaceArrival(end_, arrivalEnd, count, toleranceSamples);
  const int64_t drop = std::min<int64_t>(placement.drop, count);
  WriteLocked(end_ + placement.silence, samples + drop, static_cast<int>(count - drop));
}

void ReferenceBuffer::WriteLocked(int64_t position, const int16_t* samples, int count) {
  const int64_t capacity = static_cast<int64_t>(ring_.size());
  if (position - end_ >= capacity) {
    start_ = position;  // nothing held is recent enough to keep
  } else {
    for (int64_t p = end_; p < position; ++p) ring_[static_cast<size_t>(p % capacity)] = 0;
  }
  for (int i = 0; i < count; ++i) ring_[static_cast<size_t>((position + i) % capacity)] = samples[i];
  end_ = position + count;
  start_ = std::max(start_, end_ - capacity);
}

int64_t ReferenceBuffer::end() const {
  std::lock_guard lock(mutex_);
  return end_;
}

void ReferenceBuffer::Read(int64_t position, int16_t* out, int count) const {
  std::lock_guard lock(mutex_);
  const int64_t capacity = static_cast<int64_t>(ring_.size());
  for (int i = 0; i < count; ++i) {
    const int64_t p = position + i;
    out[i] = p >= start_ && p < end_ ? ring_[static_cast<size_t>(p % capacity)] : int16_t{0};
  }
}

}  // namespace zav
