#pragma once
// What the network tests share: the answers and installer bytes they serve, and waiting.

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace zav::test {

inline std::string TestDataFile(const char* name) { return std::string(ZAV_NET_TEST_DATA) + "/" + name; }

// 1000 bytes that differ from position to position, so a misplaced piece shows.
inline std::string PatternBytes(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 256);
  return bytes;
}
// sha256 of PatternBytes(1000).
inline constexpr char kPattern1000Sha256[] = "1e9bc38cbf860b9ec31918b065f9b52476c549a782e0e7990bed8ce3868d2371";

inline std::string HttpReply(const std::string& statusLine, const std::string& body) {
  return statusLine + "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// Polls done() every 10 ms for at most timeout (for threads other than a Qt UI thread).
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

inline long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace zav::test
