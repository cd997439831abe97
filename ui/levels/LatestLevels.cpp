#include "LatestLevels.h"

#include <utility>

#include "dui/WindowImplBase.h"

namespace zav {

LatestLevels::LatestLevels(WindowImplBase* window, std::function<void()> reportWaiting)
    : window_(window), reportWaiting_(std::move(reportWaiting)) {}

void LatestLevels::Offer(LevelOrigin origin, const LevelReport& report) {
  {
    std::lock_guard lock(mutex_);
    if (origin != expected_ || origin.kind == LevelOrigin::Kind::kNone) return;
    latest_ = report;
    if (posted_) return;
    posted_ = true;
  }
  window_->PostTask(reportWaiting_);
}

void LatestLevels::Expect(LevelOrigin origin) {
  std::lock_guard lock(mutex_);
  if (origin == expected_) return;
  expected_ = origin;
  latest_.reset();
}

LevelOrigin LatestLevels::expected() const {
  std::lock_guard lock(mutex_);
  return expected_;
}

std::optional<LevelReport> LatestLevels::Take() {
  std::lock_guard lock(mutex_);
  posted_ = false;
  return std::exchange(latest_, std::nullopt);
}

}  // namespace zav
