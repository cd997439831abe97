#pragma once
// The start barrier of Both mode: each capture thread drops what its device buffered until
// the other thread has done the same, so that both sources start together.

#include <atomic>
#include <chrono>
#include <thread>

namespace zav {

inline constexpr int kBarrierPollMs = 2;

// Drops backlog until this thread (ready) and the other (otherReady) are both ready, or stop is
// set. dropSome() drops a piece of backlog and returns true when there was any; once it finds
// none, this thread is ready.
template <typename DropSome>
void PassStartBarrier(std::atomic<bool>& ready, const std::atomic<bool>& otherReady, const std::atomic<bool>& stop,
                      DropSome&& dropSome) {
  while (!(ready && otherReady) && !stop) {
    if (!dropSome()) {
      ready = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(kBarrierPollMs));
    }
  }
}

}  // namespace zav
