#pragma once
// Notices the machine stalling: a thread that sleeps 5 ms at a time and keeps the longest it
// overslept. A stall of the whole machine (a busy virtual machine's host, a throttled
// container) holds every process, the sound server's included, and leaves a gap in a live
// recording, as a frozen server does: tests whose figures such a gap would spoil record again
// after one (RealSound::StalledIn).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace zav::test {

class StallWatch {
 public:
  StallWatch();
  ~StallWatch();
  StallWatch(const StallWatch&) = delete;
  StallWatch& operator=(const StallWatch&) = delete;

  // The longest oversleep so far, and how far into the watch it ended.
  std::chrono::milliseconds longest() const { return std::chrono::milliseconds(longestUs_ / 1000); }
  double longestEndedAt() const { return static_cast<double>(endedAtUs_) / 1e6; }

 private:
  void Watch();

  std::atomic<bool> stop_{false};
  std::atomic<int64_t> longestUs_{0};
  std::atomic<int64_t> endedAtUs_{0};
  std::thread thread_;
};

}  // namespace zav::test
