#include "CancelToken.h"

namespace zav {

void CancelToken::Cancel() {
  std::lock_guard lock(mutex_);
  if (cancelled_.exchange(true)) return;
  for (auto& [id, wake] : wakes_) wake();
}

int CancelToken::AddWake(std::function<void()> wake) const {
  std::lock_guard lock(mutex_);
  if (cancelled_.load()) wake();
  const int id = nextId_++;
  wakes_.emplace(id, std::move(wake));
  return id;
}

void CancelToken::RemoveWake(int id) const {
  std::lock_guard lock(mutex_);
  wakes_.erase(id);
}

}  // namespace zav
