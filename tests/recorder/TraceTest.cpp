// Traces are for a reader who watches; one who does not must never hold the encoder up.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "Trace.h"

namespace zav::test {
namespace {

TEST(Trace, NeverWaitsForStandardOutput) {
  // Standard output becomes a pipe that nobody reads, filled to the brim.
  int pipeFds[2];
  ASSERT_EQ(pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC), 0);
  const char block[4096] = {};
  while (write(pipeFds[1], block, sizeof block) > 0) {
  }
  fcntl(pipeFds[1], F_SETFL, 0);  // blocking again, as a real standard output is
  std::fflush(stdout);
  const int savedOutput = dup(STDOUT_FILENO);
  dup2(pipeFds[1], STDOUT_FILENO);

  SetTraceEnabled(true);
  auto traced = std::async(std::launch::async, [] { Trace("audio fifo is empty, lock\n"); });
  const bool returned = traced.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  SetTraceEnabled(false);
  // Let a trace that is stuck finish before the pipe goes.
  char sink[65536];
  while (read(pipeFds[0], sink, sizeof sink) > 0) {
  }
  traced.wait();
  dup2(savedOutput, STDOUT_FILENO);
  close(savedOutput);
  close(pipeFds[0]);
  close(pipeFds[1]);
  EXPECT_TRUE(returned) << "a trace waited for a reader";
}

}  // namespace
}  // namespace zav::test
