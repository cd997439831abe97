#include "EchoStage.h"

#include <glog/logging.h>

#include <cmath>

namespace zav {

void EchoStage::Anchor(int64_t position) {
  pending_.clear();
  position_ = static_cast<double>(position);
  anchored_ = true;
}

int64_t EchoStage::end() const {
  return std::llround(position_ + static_cast<double>(pending_.size()) * kOutputBlockSamples / kBlockSamples);
}

void EchoStage::Append(const int16_t* samples, int count) {
  if (count > 0) pending_.insert(pending_.end(), samples, samples + count);
}

bool EchoStage::Release(int64_t clock, double correction, bool all, const BlockProcessor& process,
                        std::vector<int16_t>* out) {
  bool ok = true;
  size_t taken = 0;
  for (; pending_.size() - taken >= kBlockSamples; taken += kBlockSamples) {
    const int64_t start = ReferencePosition(position_) - aligner_.shift();
    const int64_t referenceEnd = reference_.end();
    if (quietEnd_ >= 0 && referenceEnd != quietEnd_) quietEnd_ = -1;  // it delivers again
    bool ready = all || quietEnd_ >= 0 || referenceEnd >= start + kBlockSamples;
    if (!ready && clock - (position_ + kOutputBlockSamples) >= patience_) {
      ready = true;
      quietEnd_ = referenceEnd;
    }
    if (!ready) break;
    reference_.Read(start, farEnd_.data(), kBlockSamples);
    const size_t at = out->size();
    out->insert(out->end(), pending_.begin() + static_cast<ptrdiff_t>(taken),
                pending_.begin() + static_cast<ptrdiff_t>(taken + kBlockSamples));
    int16_t* block = out->data() + at;
    if (aligner_.Add(block, farEnd_.data()))
      LOG(INFO) << "echo canceller: the echo lies " << aligner_.foundDelayMs()
                << " ms behind the system sound; its reference is now read "
                << aligner_.shift() * 1000 / kProcessingRate << " ms back";
    ok = process(block, farEnd_.data()) && ok;
    position_ += kOutputBlockSamples * (1 + correction);
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(taken));
  return ok;
}

}  // namespace zav
