// The endpoint functions against a private PulseAudio server.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "PulseServer.h"
#include "pulse/MixerWrap.h"

namespace zav {
namespace {

using test::MicrophoneKind;
using test::PulseServer;

// The raw volume steps of each channel of a sink or source, as pactl reports them.
std::vector<unsigned> ChannelSteps(PulseServer& server, const std::string& kind, const std::string& name) {
  std::string output;
  EXPECT_TRUE(server.Pactl({"get-" + kind + "-volume", name}, &output)) << server.error();
  std::vector<unsigned> steps;
  const std::regex channel(R"(:\s*(\d+)\s*/)");
  for (std::sregex_iterator it(output.begin(), output.end(), channel), end; it != end; ++it) {
    steps.push_back(static_cast<unsigned>(std::stoul((*it)[1])));
  }
  return steps;
}

bool IsMuted(PulseServer& server, const std::string& source) {
  std::string output;
  EXPECT_TRUE(server.Pactl({"get-source-mute", source}, &output)) << server.error();
  return output.find("yes") != std::string::npos;
}

std::vector<std::u16string> DisplayNames(const std::vector<CaptureDeviceEntry>& devices) {
  std::vector<std::u16string> names;
  for (const CaptureDeviceEntry& device : devices) names.push_back(device.displayName);
  return names;
}

constexpr unsigned kFullSteps = 0x10000;

TEST(EndpointsOnServer, EnumerationListsInputsOnlyWithTheDefaultFirst) {
  PulseServer server;
  ASSERT_TRUE(server.running()) << server.error();
  ASSERT_GE(server.LoadModule("module-sine-source",
                              "source_name=zav_extra source_properties=device.description=Extra"),
            0)
      << server.error();

  std::vector<CaptureDeviceEntry> devices(3);  // stale entries must go
  ASSERT_EQ(EnumerateCaptureDevices(&devices), 0);
  EXPECT_EQ(DisplayNames(devices), (std::vector<std::u16string>{u"zav_test_mic", u"zav_extra"}));
  EXPECT_EQ(devices[0].friendlyName, u"ZavTestMicrophone");
  EXPECT_EQ(devices[1].friendlyName, u"Extra");

  ASSERT_TRUE(server.SetDefaultSource("zav_extra"));
  ASSERT_EQ(EnumerateCaptureDevices(&devices), 0);
  EXPECT_EQ(DisplayNames(devices), (std::vector<std::u16string>{u"zav_extra", u"zav_test_mic"}));
  std::string source;
  ASSERT_TRUE(GetMicrophoneSourceName(&source));
  EXPECT_EQ(source, "zav_extra");
}

TEST(EndpointsOnServer, LongAndNonAsciiDescriptionsAreCutAndConverted) {
  PulseServer server({.microphone = MicrophoneKind::kNone});
  ASSERT_TRUE(server.running()) << server.error();
  const std::string longDescription(150, 'x');
  ASSERT_GE(server.LoadModule("module-sine-source", "source_name=long_one source_properties='device.description=\"" +
                                                        longDescription + "\"'"),
            0)
      << server.error();
  ASSERT_GE(server.LoadModule("module-sine-source",
                              "source_name=cjk source_properties='device.description=\"麦克风 阵列\"'"),
            0)
      << server.error();
  ASSERT_TRUE(server.SetDefaultSource("cjk"));

  std::vector<CaptureDeviceEntry> devices;
  ASSERT_EQ(EnumerateCaptureDevices(&devices), 0);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].friendlyName, u"麦克风 阵列");
  EXPECT_EQ(devices[1].friendlyName, std::u16string(127, u'x'));
  EXPECT_EQ(devices[1].displayName, u"long_one");
  std::u16string name;
  ASSERT_TRUE(GetMicrophoneName(&name));
  EXPECT_EQ(name, u"麦克风 阵列");
}

TEST(EndpointsOnServer, WithoutAnInputOnlyTheMonitorRemainsAndIsNoMicrophone) {
  PulseServer server({.microphone = MicrophoneKind::kNone});
  ASSERT_TRUE(server.running()) << server.error();

  std::vector<CaptureDeviceEntry> devices(1);
  EXPECT_EQ(EnumerateCaptureDevices(&devices), 0);
  EXPECT_TRUE(devices.empty());
  std::u16string name = u"unchanged";
  EXPECT_FALSE(GetMicrophoneName(&name));
  EXPECT_EQ(name, u"unchanged");
  int volume = 7;
  GetMicrophoneVolume(&volume);
  EXPECT_EQ(volume, 7);
  std::string source;
  EXPECT_FALSE(GetMicrophoneSourceName(&source));
  EXPECT_FALSE(SetMicrophoneVolume(false, 30));
  EXPECT_TRUE(HasOutputDevice());
}

TEST(EndpointsOnServer, MicrophoneNameAndVolumeRoundTrip) {
  PulseServer server({.microphone = MicrophoneKind::kFedSink});
  ASSERT_TRUE(server.running()) << server.error();
  std::u16string name;
  ASSERT_TRUE(GetMicrophoneName(&name));
  EXPECT_EQ(name, u"ZavTestMicrophone");

  EXPECT_FALSE(SetMicrophoneVolume(true, 37.0f));
  EXPECT_TRUE(IsMuted(server, PulseServer::kMicrophoneSource));
  int volume = -1;
  GetMicrophoneVolume(&volume);
  EXPECT_EQ(volume, 37);
  // The other sources keep their volume: only the microphone was changed.
  EXPECT_EQ(ChannelSteps(server, "sink", PulseServer::kOutputSink), (std::vector<unsigned>{kFullSteps, kFullSteps}));

  EXPECT_FALSE(SetMicrophoneVolume(false, 100.0f));
  EXPECT_FALSE(IsMuted(server, PulseServer::kMicrophoneSource));
  GetMicrophoneVolume(&volume);
  EXPECT_EQ(volume, 100);

  EXPECT_FALSE(SetMicrophoneVolume(false, 250.0f));  // never amplifies past 100 %
  EXPECT_EQ(ChannelSteps(server, "source", PulseServer::kMicrophoneSource),
            (std::vector<unsigned>{kFullSteps, kFullSteps}));
}

TEST(EndpointsOnServer, MicrophoneVolumeRoundsHalfUp) {
  PulseServer server;
  ASSERT_TRUE(server.running()) << server.error();
  int volume = -1;
  // 24576 steps are exactly 37.5 %, one step less is just below.
  ASSERT_TRUE(server.Pactl({"set-source-volume", PulseServer::kMicrophoneSource, "24576"}));
  GetMicrophoneVolume(&volume);
  EXPECT_EQ(volume, 38);
  ASSERT_TRUE(server.Pactl({"set-source-volume", PulseServer::kMicrophoneSource, "24575"}));
  GetMicrophoneVolume(&volume);
  EXPECT_EQ(volume, 37);
}

TEST(EndpointsOnServer, SpeakerVolumeRoundTripsAndClamps) {
  PulseServer server;
  ASSERT_TRUE(server.running()) << server.error();

  EXPECT_FALSE(SetSpeakerVolume(60.0f));
  float volume = -1.0f;
  EXPECT_FALSE(GetSpeakerVolume(&volume));
  EXPECT_NEAR(volume, 60.5f, 0.01f);  // scalar x 100 + 0.5, not rounded

  EXPECT_FALSE(SetSpeakerVolume(150.0f));
  EXPECT_EQ(ChannelSteps(server, "sink", PulseServer::kOutputSink), (std::vector<unsigned>{kFullSteps, kFullSteps}));
  GetSpeakerVolume(&volume);
  EXPECT_FLOAT_EQ(volume, 100.5f);

  EXPECT_FALSE(SetSpeakerVolume(-5.0f));
  EXPECT_EQ(ChannelSteps(server, "sink", PulseServer::kOutputSink), (std::vector<unsigned>{0u, 0u}));
  volume = 12.25f;
  EXPECT_FALSE(GetSpeakerVolume(&volume));
  EXPECT_EQ(volume, 12.25f);  // zero volume leaves the value
}

TEST(EndpointsOnServer, SpeakerVolumeKeepsTheBalanceAndReadsAmplificationAsFull) {
  PulseServer server;
  ASSERT_TRUE(server.running()) << server.error();
  ASSERT_TRUE(server.Pactl({"set-sink-volume", PulseServer::kOutputSink, "32768", "16384"}));
  SetSpeakerVolume(80.0f);
  const std::vector<unsigned> steps = ChannelSteps(server, "sink", PulseServer::kOutputSink);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_NEAR(steps[0], 0.8 * kFullSteps, 1.0);
  EXPECT_NEAR(steps[1], 0.4 * kFullSteps, 1.0);

  ASSERT_TRUE(server.Pactl({"set-sink-volume", PulseServer::kOutputSink, "150%"}));
  float volume = 0.0f;
  GetSpeakerVolume(&volume);
  EXPECT_FLOAT_EQ(volume, 100.5f);
}

TEST(EndpointsOnServer, SpeakerFunctionsFollowTheDefaultSink) {
  PulseServer server;
  ASSERT_TRUE(server.running()) << server.error();
  std::string monitor;
  ASSERT_TRUE(GetDefaultSinkMonitorName(&monitor));
  EXPECT_EQ(monitor, std::string(PulseServer::kOutputSink) + ".monitor");

  ASSERT_GE(server.LoadModule("module-null-sink", "sink_name=other"), 0) << server.error();
  ASSERT_TRUE(server.SetDefaultSink("other"));
  ASSERT_TRUE(GetDefaultSinkMonitorName(&monitor));
  EXPECT_EQ(monitor, "other.monitor");
  SetSpeakerVolume(25.0f);
  EXPECT_EQ(ChannelSteps(server, "sink", "other"), (std::vector<unsigned>{kFullSteps / 4, kFullSteps / 4}));
  EXPECT_EQ(ChannelSteps(server, "sink", PulseServer::kOutputSink), (std::vector<unsigned>{kFullSteps, kFullSteps}));
}

TEST(EndpointsOnServer, OutputDeviceComesAndGoesWithTheSink) {
  PulseServer server;
  ASSERT_TRUE(server.running()) << server.error();
  EXPECT_TRUE(HasOutputDevice());

  ASSERT_TRUE(server.UnloadModule(server.outputModule()));
  EXPECT_FALSE(HasOutputDevice());
  float volume = 33.0f;
  EXPECT_FALSE(GetSpeakerVolume(&volume));
  EXPECT_EQ(volume, 33.0f);
  EXPECT_FALSE(SetSpeakerVolume(50.0f));
  std::string monitor = "unchanged";
  EXPECT_FALSE(GetDefaultSinkMonitorName(&monitor));
  EXPECT_EQ(monitor, "unchanged");
  // The microphone does not depend on an output.
  std::u16string name;
  EXPECT_TRUE(GetMicrophoneName(&name));
}

TEST(EndpointsOnServer, MicrophoneUnloadedLeavesNoMicrophone) {
  PulseServer server;
  ASSERT_TRUE(server.running()) << server.error();
  std::string source;
  ASSERT_TRUE(GetMicrophoneSourceName(&source));
  EXPECT_EQ(source, PulseServer::kMicrophoneSource);

  ASSERT_TRUE(server.UnloadMicrophone()) << server.error();
  std::u16string name;
  EXPECT_FALSE(GetMicrophoneName(&name));
  std::vector<CaptureDeviceEntry> devices;
  EXPECT_EQ(EnumerateCaptureDevices(&devices), 0);
  EXPECT_TRUE(devices.empty());
  EXPECT_TRUE(HasOutputDevice());
}

}  // namespace
}  // namespace zav
