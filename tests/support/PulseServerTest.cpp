#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "ChildProcess.h"
#include "PulseServer.h"

namespace zav::test {
namespace {

std::string Info(PulseServer& server) {
  std::string output;
  EXPECT_TRUE(server.Pactl({"info"}, &output)) << server.error();
  return output;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(PulseServer, StartsWithOutputAndMicrophoneAsDefaultsAndPointsThisProcessAtIt) {
  setenv("PULSE_SERVER", "unix:/previous/value", 1);
  std::string address;
  {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.error();
    address = server.address();
    EXPECT_STREQ(std::getenv("PULSE_SERVER"), address.c_str());
    const std::string info = Info(server);
    EXPECT_TRUE(Contains(info, std::string("Default Sink: ") + PulseServer::kOutputSink)) << info;
    EXPECT_TRUE(Contains(info, std::string("Default Source: ") + PulseServer::kMicrophoneSource)) << info;
  }
  EXPECT_STREQ(std::getenv("PULSE_SERVER"), "unix:/previous/value");
  unsetenv("PULSE_SERVER");
  // The server is gone: a client pointed at its address finds nothing.
  const CommandResult after = RunCommand({"pactl", "info"}, {{"PULSE_SERVER", address}}, std::chrono::seconds(10));
  EXPECT_TRUE(after.finished);
  EXPECT_NE(after.exitCode, 0);
}

TEST(PulseServer, FedMicrophoneAndOutputToneKeepTheOutputAsDefault) {
  PulseServer server({.microphone = MicrophoneKind::kFedSink, .outputToneHz = 1000});
  ASSERT_TRUE(server.running()) << server.error();
  const std::string info = Info(server);
  EXPECT_TRUE(Contains(info, std::string("Default Sink: ") + PulseServer::kOutputSink)) << info;
  EXPECT_TRUE(Contains(info, std::string("Default Source: ") + PulseServer::kMicrophoneSource)) << info;
  std::string inputs;
  ASSERT_TRUE(server.Pactl({"list", "short", "sink-inputs"}, &inputs));
  EXPECT_TRUE(Contains(inputs, "module-sine.c")) << inputs;
  EXPECT_GE(server.outputToneModule(), 0);
}

TEST(PulseServer, ModulesComeAndGoDuringATest) {
  PulseServer server;
  ASSERT_TRUE(server.running()) << server.error();

  ASSERT_TRUE(server.UnloadMicrophone()) << server.error();
  std::string sources;
  ASSERT_TRUE(server.Pactl({"list", "short", "sources"}, &sources));
  EXPECT_FALSE(Contains(sources, PulseServer::kMicrophoneSource + std::string("\t"))) << sources;
  EXPECT_TRUE(Contains(Info(server), std::string("Default Source: ") + PulseServer::kOutputSink + ".monitor"));

  const int other = server.LoadModule("module-null-sink", "sink_name=other");
  ASSERT_GE(other, 0) << server.error();
  ASSERT_TRUE(server.SetDefaultSink("other"));
  EXPECT_TRUE(Contains(Info(server), "Default Sink: other"));
  EXPECT_TRUE(server.UnloadModule(other));
  EXPECT_FALSE(server.UnloadModule(other));
  EXPECT_EQ(server.LoadModule("module-that-does-not-exist"), -1);
  EXPECT_FALSE(server.error().empty());
}

TEST(ChildProcess, RunCommandKillsACommandThatOverrunsItsTimeout) {
  const CommandResult result = RunCommand({"sleep", "30"}, {}, std::chrono::milliseconds(200));
  EXPECT_FALSE(result.finished);
  const CommandResult missing = RunCommand({"no-such-program-here"}, {}, std::chrono::seconds(1));
  EXPECT_FALSE(missing.finished);
}

TEST(ChildProcess, EnvironmentChangesSetAndRemoveVariables) {
  setenv("ZAV_TEST_REMOVED", "1", 1);
  const CommandResult result =
      RunCommand({"env"}, {{"ZAV_TEST_ADDED", "yes"}, {"ZAV_TEST_REMOVED", std::nullopt}}, std::chrono::seconds(10));
  unsetenv("ZAV_TEST_REMOVED");
  ASSERT_TRUE(result.finished);
  EXPECT_TRUE(Contains(result.output, "ZAV_TEST_ADDED=yes\n"));
  EXPECT_FALSE(Contains(result.output, "ZAV_TEST_REMOVED"));
}

}  // namespace
}  // namespace zav::test
