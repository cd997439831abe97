#pragma once
// What recorder tests share: an owner that keeps what is posted, and a temporary output folder.

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "RecorderTypes.h"

namespace zav::test {

class RecordingOwner final : public RecorderOwner {
 public:
  struct Message {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
  };
  void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override {
    std::lock_guard lock(mutex_);
    messages_.push_back({message, wParam, lParam});
  }
  std::vector<intptr_t> Seconds() const {
    std::lock_guard lock(mutex_);
    std::vector<intptr_t> out;
    for (const auto& m : messages_)
      if (m.message == WM_RECORD_SECONDS) out.push_back(m.lParam);
    return out;
  }
  std::vector<Message> All() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
};

class TempFolder {
 public:
  // A new folder in parent (a tmpfs such as /dev/shm keeps a large file in memory).
  explicit TempFolder(const std::string& parent = "/tmp") {
    std::string pattern = parent + "/zav-test-XXXXXX";
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Threads of this process right now.
int ThreadCount();

// The bytes of the file at path (empty when it cannot be read).
std::string ReadAll(const std::string& path);

// The regular files of folder (not links) that are not hidden, sorted.
std::vector<std::string> Recordings(const std::string& folder);

// The exit status of the child (128 + signal when killed), or -1 when it had to be killed
// after timeout.
int WaitExit(int pid, std::chrono::milliseconds timeout);

}  // namespace zav::test
