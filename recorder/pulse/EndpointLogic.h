#pragma once
// The decisions behind the endpoint functions, free of any sound-server call: which sources
// count as capture devices and in what order, how names are cut, and how the server's volume
// steps map to the 0-100 percent scale.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "TextUtil.h"

namespace zav {

struct CaptureDeviceEntry;

namespace pulse {

// What the endpoint functions need to know about one source of the server.
struct SourceFacts {
  std::string name;         // the server's source name (UTF-8), used to open it
  std::string description;  // the human-readable name (UTF-8); may be empty
  bool isMonitor = false;   // the monitor of a sink: system sound, not a capture device
};

inline constexpr std::size_t kFriendlyNameMaxUnits = 127;
inline constexpr std::size_t kDisplayNameMaxUnits = 255;

using zav::CutUtf16;  // names are cut without splitting a surrogate pair

// The capture devices among sources: monitors and sources without a description left out,
// the default source first, the rest in the server's order; names cut to their limits.
std::vector<CaptureDeviceEntry> OrderCaptureDevices(const std::vector<SourceFacts>& sources,
                                                    std::string_view defaultSourceName);

// The source the microphone functions act on: the first of OrderCaptureDevices' order.
// nullptr when there is none.
const SourceFacts* PickMicrophoneSource(const std::vector<SourceFacts>& sources,
                                        std::string_view defaultSourceName);

// Server volume steps (PA_VOLUME_NORM = 100 %) to the 0.0-1.0 scalar. Amplification above
// 100 % reads as 1.0.
double ScalarFromVolumeSteps(std::uint32_t steps);
// 0.0-1.0 scalar to server volume steps, rounded to the nearest step; outside 0..1 clamped.
std::uint32_t VolumeStepsFromScalar(double scalar);

// Integer percent, rounded half up: truncation of scalar x 100 + 0.5.
int RoundedPercent(double scalar);

// Speaker volume slider value to the percent that is set: below 0 gives 0, above 100 gives 100.
// Not a number gives 0.
float ClampPercent(float percent);

}  // namespace pulse
}  // namespace zav
