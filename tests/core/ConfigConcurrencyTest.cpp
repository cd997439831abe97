// Writers in several threads and processes share one ini: no key may be lost, and no reader
// may ever see a partly written file, even when a writer is killed mid-write.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "AtomicFile.h"
#include "ConfigStore.h"
#include "CoreTestSupport.h"

namespace zav {
namespace {

namespace fs = std::filesystem;

constexpr int kKeysPerWriter = 100;
// Large enough that a non-atomic write would be visible half done (many pages), small
// enough for one line of the store.
constexpr std::size_t kPayloadBytes = 48 * 1024;

bool WriteKeys(ConfigStore& store, const std::string& prefix) {
  bool ok = true;
  for (int i = 0; i < kKeysPerWriter; ++i) {
    ok = store.WriteString("global", prefix + std::to_string(i), std::to_string(i * 7)) && ok;
  }
  return ok;
}

void ExpectAllKeys(const ConfigStore& store, const std::string& prefix) {
  for (int i = 0; i < kKeysPerWriter; ++i) {
    EXPECT_EQ(store.ReadInt("global", prefix + std::to_string(i), -1), i * 7) << prefix << i;
  }
}

// A snapshot is whole when both guard keys are present and the payload is one complete
// generation of repeated letters.
::testing::AssertionResult IsWholeSnapshot(const std::string& text) {
  std::string head, tail, payload;
  if (!ini::Lookup(text, "global", "head", &head) || head != "1" ||
      !ini::Lookup(text, "hotkey", "tail", &tail) || tail != "1") {
    return ::testing::AssertionFailure() << "guard keys missing in " << text.size() << " bytes";
  }
  if (!ini::Lookup(text, "global", "payload", &payload) || payload.size() != kPayloadBytes ||
      payload.find_first_not_of(payload.front()) != std::string::npos) {
    return ::testing::AssertionFailure() << "torn payload of " << payload.size() << " bytes";
  }
  return ::testing::AssertionSuccess();
}

// Runs in a forked child: rewrites the payload with alternating letters until killed.
[[noreturn]] void RewritePayloadForever(const std::string& iniPath) {
  ConfigStore store(iniPath);
  for (char letter = 'a';; letter = letter == 'z' ? 'a' : letter + 1) {
    if (!store.WriteString("global", "payload", std::string(kPayloadBytes, letter))) _exit(3);
  }
}

// Kills and reaps a forked child on every way out of a test, failed assertions included.
class ChildProcess {
 public:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  ~ChildProcess() {
    if (pid_ > 0) KillAndWait();
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The wait status of the killed child.
  int KillAndWait() {
    int status = 0;
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_;
};

class ConfigConcurrencyTest : public ::testing::Test {
 protected:
  test::TempFolder folder_;
  std::string iniPath_ = (folder_.path() / "configure.ini").string();
};

TEST_F(ConfigConcurrencyTest, TwoThreadsLoseNoKey) {
  ConfigStore store(iniPath_);
  std::atomic<bool> okA{false}, okB{false};
  std::thread a([&] { okA = WriteKeys(store, "thread-a-"); });
  std::thread b([&] { okB = WriteKeys(store, "thread-b-"); });
  a.join();
  b.join();
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
  ExpectAllKeys(store, "thread-a-");
  ExpectAllKeys(store, "thread-b-");
}

TEST_F(ConfigConcurrencyTest, TwoProcessesLoseNoKey) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ConfigStore store(iniPath_);
    _exit(WriteKeys(store, "child-") ? 0 : 1);
  }
  ConfigStore store(iniPath_);
  EXPECT_TRUE(WriteKeys(store, "parent-"));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ExpectAllKeys(store, "child-");
  ExpectAllKeys(store, "parent-");
}

TEST_F(ConfigConcurrencyTest, ReadersNeverSeeATornFileAndAKilledWriterLeavesAWholeOne) {
  ConfigStore store(iniPath_);
  ASSERT_TRUE(store.WriteString("global", "head", "1"));
  ASSERT_TRUE(store.WriteString("global", "payload", std::string(kPayloadBytes, 'z')));
  ASSERT_TRUE(store.WriteString("hotkey", "tail", "1"));

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) RewritePayloadForever(iniPath_);
  ChildProcess writer(child);

  // Read until the writer has visibly replaced the file several times.
  int generationsSeen = 0;
  char lastLetter = 'z';
  for (int reads = 0; reads < 100000 && generationsSeen < 20; ++reads) {
    std::string text;
    ASSERT_EQ(ReadWholeFile(iniPath_, &text), ReadResult::kOk);
    ASSERT_TRUE(IsWholeSnapshot(text));
    std::string payload;
    ini::Lookup(text, "global", "payload", &payload);
    if (payload.front() != lastLetter) {
      lastLetter = payload.front();
      ++generationsSeen;
    }
  }
  EXPECT_GE(generationsSeen, 20);

  const int status = writer.KillAndWait();
  ASSERT_TRUE(WIFSIGNALED(status)) << "writer stopped by itself, status " << status;

  std::string text;
  ASSERT_EQ(ReadWholeFile(iniPath_, &text), ReadResult::kOk);
  EXPECT_TRUE(IsWholeSnapshot(text));
  // The next writer is not blocked by the killed one's lock or its stale temporary file.
  EXPECT_TRUE(store.WriteString("global", "after", "1"));
  EXPECT_EQ(store.ReadInt("global", "after", 0), 1);
  EXPECT_TRUE(IsWholeSnapshot(test::ReadFile(iniPath_)));
}

}  // namespace
}  // namespace zav
