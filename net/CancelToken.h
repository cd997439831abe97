#pragma once
// CancelToken: the owner of a network worker asks it to stop; a transfer under way is woken
// and ends at once instead of running into its time-out.
//
// Cancel may be called from any thread; the wake-ups run on the cancelling thread.

#include <atomic>
#include <functional>
#include <map>
#include <mutex>

namespace zav {

class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void Cancel();
  bool IsCancelled() const { return cancelled_.load(); }

  // wake runs once when the token is cancelled, or at once when it already is. Returns an id
  // for RemoveWake; after RemoveWake returns, wake is not running and never runs again.
  int AddWake(std::function<void()> wake) const;
  void RemoveWake(int id) const;

 private:
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;  // guards wakes_ and nextId_
  mutable std::map<int, std::function<void()>> wakes_;
  mutable int nextId_ = 0;
};

}  // namespace zav
