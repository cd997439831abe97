#include "pulse/EndpointLogic.h"

#include <pulse/volume.h>

#include <algorithm>
#include <cmath>

#include "TextUtil.h"
#include "pulse/MixerWrap.h"

namespace zav::pulse {
namespace {

bool IsCaptureDevice(const SourceFacts& source) {
  return !source.isMonitor && !source.description.empty() && !source.name.empty();
}

CaptureDeviceEntry MakeEntry(const SourceFacts& source) {
  CaptureDeviceEntry entry;
  entry.friendlyName = CutUtf16(ToWide(source.description), kFriendlyNameMaxUnits);
  entry.displayName = CutUtf16(ToWide(source.name), kDisplayNameMaxUnits);
  return entry;
}

}  // namespace

std::vector<CaptureDeviceEntry> OrderCaptureDevices(const std::vector<SourceFacts>& sources,
                                                    std::string_view defaultSourceName) {
  std::vector<CaptureDeviceEntry> devices;
  auto isDefault = [&](const SourceFacts& source) {
    return !defaultSourceName.empty() && source.name == defaultSourceName;
  };
  for (const SourceFacts& source : sources) {
    if (IsCaptureDevice(source) && isDefault(source)) devices.push_back(MakeEntry(source));
  }
  for (const SourceFacts& source : sources) {
    if (IsCaptureDevice(source) && !isDefault(source)) devices.push_back(MakeEntry(source));
  }
  return devices;
}

const SourceFacts* PickMicrophoneSource(const std::vector<SourceFacts>& sources,
                                        std::string_view defaultSourceName) {
  const SourceFacts* first = nullptr;
  for (const SourceFacts& source : sources) {
    if (!IsCaptureDevice(source)) continue;
    if (!defaultSourceName.empty() && source.name == defaultSourceName) return &source;
    if (first == nullptr) first = &source;
  }
  return first;
}

double ScalarFromVolumeSteps(std::uint32_t steps) {
  return std::min(1.0, static_cast<double>(steps) / static_cast<double>(PA_VOLUME_NORM));
}

std::uint32_t VolumeStepsFromScalar(double scalar) {
  if (!(scalar > 0.0)) return PA_VOLUME_MUTED;
  if (scalar >= 1.0) return PA_VOLUME_NORM;
  return static_cast<std::uint32_t>(std::lround(scalar * PA_VOLUME_NORM));
}

int RoundedPercent(double scalar) { return static_cast<int>(scalar * 100.0 + 0.5); }

float ClampPercent(float percent) {
  if (std::isnan(percent) || percent < 0.0f) return 0.0f;
  return std::min(percent, 100.0f);
}

}  // namespace zav::pulse
