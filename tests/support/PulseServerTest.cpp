#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>
#include <filesystem>
#include <algorithm>

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

// A 16-bit stereo 44100 Hz WAV file holding a sine tone.
void WriteToneWav(const std::string& path, int hz, double seconds) {
  const int rate = 44100;
  const auto frames = static_cast<std::uint32_t>(rate * seconds);
  std::vector<std::int16_t> samples;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const auto value = static_cast<std::int16_t>(16000 * std::sin(2 * M_PI * hz * i / rate));
    samples.push_back(value);
    samples.push_back(value);
  }
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  auto u32 = [](std::ofstream& out, std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [](std::ofstream& out, std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  u32(out, 36 + dataBytes);
  out.write("WAVEfmt ", 8);
  u32(out, 16);
  u16(out, 1);
  u16(out, 2);
  u32(out, rate);
  u32(out, rate * 4);
  u16(out, 4);
  u16(out, 16);
  out.write("data", 4);
  u32(out, dataBytes);
  out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
}

struct Heard {
  std::size_t bytes = 0;
  int peak = 0;  // the loudest sample
};

// What parec reads from source (raw s16 stereo) in one second. A short latency makes parec hand
// over its data at once instead of in large blocks.
Heard Record(const PulseServer& server, const std::string& source) {
  const CommandResult recording =
      RunCommand({"parec", "--raw", "--format=s16le", "--latency-msec=20", "--device=" + source},
                 {{"PULSE_SERVER", server.address()}}, std::chrono::milliseconds(1000));
  Heard heard;
  heard.bytes = recording.output.size();
  for (std::size_t i = 0; i + 1 < recording.output.size(); i += 2) {
    std::int16_t sample;
    std::memcpy(&sample, recording.output.data() + i, 2);
    heard.peak = std::max(heard.peak, std::abs(static_cast<int>(sample)));
  }
  return heard;
}

// Half a second of 44100 Hz s16 stereo. A one-second recording that gets less has waited for a
// sink's long block.
constexpr std::size_t kHalfSecondBytes = 44100 * 4 / 2;

TEST(PulseServer, TheFedMicrophoneHearsWhatIsPlayedAndTheOutputMonitorHearsTheTone) {
  PulseServer server({.microphone = MicrophoneKind::kFedSink, .outputToneHz = 1000, .keepOutputFlowing = true});
  ASSERT_TRUE(server.running()) << server.error();
  const Heard quietMicrophone = Record(server, PulseServer::kMicrophoneSource);
  EXPECT_GT(quietMicrophone.bytes, kHalfSecondBytes);
  EXPECT_LT(quietMicrophone.peak, 100);  // nothing played into it yet
  const Heard output = Record(server, PulseServer::kOutputSink + std::string(".monitor"));
  EXPECT_GT(output.bytes, kHalfSecondBytes);
  EXPECT_GT(output.peak, 1000);

  char folder[] = "/tmp/zav-wav-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string wav = std::string(folder) + "/tone.wav";
  WriteToneWav(wav, 440, 1.5);
  ASSERT_TRUE(server.StartPlayback(PulseServer::kMicrophoneFeedSink, wav)) << server.error();
  const Heard microphone = Record(server, PulseServer::kMicrophoneSource);
  EXPECT_GT(microphone.bytes, kHalfSecondBytes);
  EXPECT_GT(microphone.peak, 1000);
  EXPECT_TRUE(server.WaitForPlaybacks(std::chrono::seconds(10)));
  std::filesystem::remove_all(folder);

  const std::size_t before = server.LoadedModules().size();
  EXPECT_TRUE(server.UnloadMicrophone()) << server.error();
  EXPECT_EQ(server.LoadedModules().size(), before - 2);
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
