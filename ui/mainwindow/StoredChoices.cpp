#include "StoredChoices.h"

#include <array>

#include "ConfigStore.h"
#include "UserFolders.h"

namespace zav {
namespace {

constexpr std::array<int32_t, kBitrateCount> kBitRates = {64000, 96000, 128000, 192000, 256000, 320000};
constexpr int32_t kFallbackBitRate = 128000;

std::optional<int> IndexBelow(int value, int count) {
  if (value < 0 || value >= count) return std::nullopt;
  return value;
}

int Boost(const ConfigStore& store) {
  const int stored = store.ReadInt(kGlobalSection, keys::kBoost, 0);
  return stored == 0 ? StoredChoices::kDefaultBoost : stored;
}

CaptureDevices StoredDevices(const ConfigStore& store) {
  CaptureDevices devices{store.ReadString(kGlobalSection, keys::kMicrophoneDevice),
                         store.ReadString(kGlobalSection, keys::kSpeakerDevice), {}};
  if (std::string app = store.ReadString(kGlobalSection, keys::kSpeakerApplication); !app.empty())
    devices.applications.push_back(std::move(app));
  return devices;
}

}  // namespace

StoredChoices ReadStoredChoices() {
  const ConfigStore& store = ConfigStore::Instance();
  StoredChoices c;
  c.source = IndexBelow(store.ReadInt(kGlobalSection, keys::kVoiceSource, 0), kSourceCount);
  c.format = IndexBelow(store.ReadInt(kGlobalSection, keys::kAudioFormat, 0), kFormatCount);
  c.bitrateIndex = IndexBelow(store.ReadInt(kGlobalSection, keys::kBitrateIndex, 0), kBitrateCount);
  c.boost = Boost(store);
  c.gainControl = store.ReadInt(kGlobalSection, keys::kGainControl, 0) != 0;
  c.noiseSuppression = store.ReadInt(kGlobalSection, keys::kNoiseSuppression, 0) != 0;
  c.echoCancellation = store.ReadInt(kGlobalSection, keys::kEchoCancellation, 0) != 0;
  c.devices = StoredDevices(store);
  c.outputFolder = GetOutputFolder();
  return c;
}

int32_t BitRateOfQualityText(std::string_view text) {
  for (int32_t rate : kBitRates) {
    if (text == std::to_string(rate / 1000) + "kbps") return rate;
  }
  return kFallbackBitRate;
}

std::string BitRateTextOfIndex(int index) {
  if (index < 0 || index >= kBitrateCount) return {};
  return std::to_string(kBitRates[static_cast<size_t>(index)]);
}

VoiceSource VoiceSourceAt(int index) {
  return IndexBelow(index, kSourceCount) ? static_cast<VoiceSource>(index) : VoiceSource::Both;
}

RecorderSettings ReadStoredRecordingSettings() {
  const ConfigStore& store = ConfigStore::Instance();
  RecorderSettings c;
  c.source = VoiceSourceAt(store.ReadInt(kGlobalSection, keys::kVoiceSource, 0));
  c.folder = GetOutputFolder();
  c.mute = store.ReadInt(kGlobalSection, keys::kMute, 0) != 0;
  c.noiseSuppression = store.ReadInt(kGlobalSection, keys::kNoiseSuppression, 0) != 0;
  c.gainControl = store.ReadInt(kGlobalSection, keys::kGainControl, 0) != 0;
  c.boost = Boost(store);
  c.echoCancellation = store.ReadInt(kGlobalSection, keys::kEchoCancellation, 0) != 0;
  c.devices = StoredDevices(store);
  return c;
}

}  // namespace zav
