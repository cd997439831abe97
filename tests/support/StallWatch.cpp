#include "StallWatch.h"

namespace zav::test {
namespace {

constexpr auto kNap = std::chrono::milliseconds(5);

}  // namespace

StallWatch::StallWatch() : thread_([this] { Watch(); }) {}

StallWatch::~StallWatch() {
  stop_ = true;
  thread_.join();
}

void StallWatch::Watch() {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  while (!stop_) {
    const auto before = Clock::now();
    std::this_thread::sleep_for(kNap);
    const auto after = Clock::now();
    const int64_t overslept = std::chrono::duration_cast<std::chrono::microseconds>(after - before - kNap).count();
    if (overslept > longestUs_) {
      longestUs_ = overslept;
      endedAtUs_ = std::chrono::duration_cast<std::chrono::microseconds>(after - start).count();
    }
  }
}

}  // namespace zav::test
