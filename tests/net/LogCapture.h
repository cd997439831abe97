#pragma once
// Collects what glog writes while it lives, with the source file of each line.

#include <glog/logging.h>

#include <mutex>
#include <string>
#include <vector>

namespace zav::test {

struct LogLine {
  std::string file;  // base name, such as "HttpClient.cpp"
  std::string text;
};

class LogCapture : public google::LogSink {
 public:
  LogCapture() { google::AddLogSink(this); }
  ~LogCapture() override { google::RemoveLogSink(this); }

  void send(google::LogSeverity, const char*, const char* baseFile, int, const google::LogMessageTime&,
            const char* message, size_t length) override {
    std::lock_guard lock(mutex_);
    lines_.push_back({baseFile, std::string(message, length)});
  }

  // The lines written from one source file.
  std::vector<std::string> From(const std::string& file) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& line : lines_) {
      if (line.file == file) texts.push_back(line.text);
    }
    return texts;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<LogLine> lines_;
};

}  // namespace zav::test
