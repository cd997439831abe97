#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "pulse/EndpointLogic.h"
#include "pulse/MixerWrap.h"

namespace zav::pulse {
namespace {

std::vector<std::u16string> DisplayNames(const std::vector<CaptureDeviceEntry>& devices) {
  std::vector<std::u16string> names;
  for (const CaptureDeviceEntry& device : devices) names.push_back(device.displayName);
  return names;
}

TEST(OrderCaptureDevices, LeavesOutMonitorsAndPutsTheDefaultFirst) {
  const std::vector<SourceFacts> sources = {
      {"out.monitor", "Monitor of Out", true},
      {"usb", "USB Mic", false},
      {"builtin", "Built-in Mic", false},
      {"nameless", "", false},
      {"webcam", "Webcam", false},
  };
  EXPECT_EQ(DisplayNames(OrderCaptureDevices(sources, "builtin")),
            (std::vector<std::u16string>{u"builtin", u"usb", u"webcam"}));
  const auto devices = OrderCaptureDevices(sources, "builtin");
  EXPECT_EQ(devices[0].friendlyName, u"Built-in Mic");
  EXPECT_EQ(PickMicrophoneSource(sources, "builtin")->name, "builtin");
}

TEST(OrderCaptureDevices, AMonitorAsDefaultKeepsTheServerOrder) {
  const std::vector<SourceFacts> sources = {
      {"usb", "USB Mic", false},
      {"out.monitor", "Monitor of Out", true},
      {"builtin", "Built-in Mic", false},
  };
  EXPECT_EQ(DisplayNames(OrderCaptureDevices(sources, "out.monitor")),
            (std::vector<std::u16string>{u"usb", u"builtin"}));
  EXPECT_EQ(PickMicrophoneSource(sources, "out.monitor")->name, "usb");
  EXPECT_EQ(PickMicrophoneSource(sources, "")->name, "usb");
  EXPECT_EQ(PickMicrophoneSource({{"out.monitor", "Monitor", true}}, "out.monitor"), nullptr);
  EXPECT_TRUE(OrderCaptureDevices({}, "").empty());
}

TEST(OrderCaptureDevices, CutsFriendlyNamesAt127AndDisplayNamesAt255Units) {
  const std::string longDescription(200, 'd');
  const std::string longName(300, 'n');
  const auto devices = OrderCaptureDevices({{longName, longDescription, false}}, "");
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].friendlyName, std::u16string(127, u'd'));
  EXPECT_EQ(devices[0].displayName, std::u16string(255, u'n'));
}

TEST(OrderCaptureDevices, ConvertsUtf8NamesToUtf16) {
  const auto devices = OrderCaptureDevices({{"mic", "麦克风 \xF0\x9F\x8E\xA4", false}}, "mic");
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].friendlyName, u"麦克风 \U0001F3A4");
}

TEST(CutUtf16, NeverSplitsASurrogatePair) {
  std::u16string text(126, u'a');
  text += u"\U0001F3A4";  // units 127 and 128
  EXPECT_EQ(CutUtf16(text, 127), std::u16string(126, u'a'));
  EXPECT_EQ(CutUtf16(text, 128), text);
  EXPECT_EQ(CutUtf16(u"short", 127), u"short");
  EXPECT_EQ(CutUtf16(u"abc", 0), u"");
}

TEST(VolumeScale, PercentRoundsHalfUp) {
  EXPECT_EQ(RoundedPercent(0.375), 38);
  EXPECT_EQ(RoundedPercent(0.3749), 37);
  EXPECT_EQ(RoundedPercent(0.0), 0);
  EXPECT_EQ(RoundedPercent(1.0), 100);
}

TEST(VolumeScale, EveryWholePercentSurvivesTheServerSteps) {
  for (int percent = 0; percent <= 100; ++percent) {
    const std::uint32_t steps = VolumeStepsFromScalar(percent / 100.0);
    EXPECT_EQ(RoundedPercent(ScalarFromVolumeSteps(steps)), percent) << percent;
  }
}

TEST(VolumeScale, StepsMapToTheUnitRange) {
  EXPECT_DOUBLE_EQ(ScalarFromVolumeSteps(0x10000), 1.0);
  EXPECT_DOUBLE_EQ(ScalarFromVolumeSteps(0x8000), 0.5);
  EXPECT_DOUBLE_EQ(ScalarFromVolumeSteps(0x18000), 1.0);  // amplification reads as full
  EXPECT_EQ(VolumeStepsFromScalar(1.5), 0x10000u);
  EXPECT_EQ(VolumeStepsFromScalar(-0.2), 0u);
  EXPECT_EQ(VolumeStepsFromScalar(std::numeric_limits<double>::quiet_NaN()), 0u);
}

TEST(VolumeScale, ClampPercentKeepsTheSliderRange) {
  EXPECT_EQ(ClampPercent(150.0f), 100.0f);
  EXPECT_EQ(ClampPercent(-5.0f), 0.0f);
  EXPECT_EQ(ClampPercent(42.5f), 42.5f);
  EXPECT_EQ(ClampPercent(std::nanf("")), 0.0f);
}

}  // namespace
}  // namespace zav::pulse
