// The one place where the engine meets the sound server: the capture inputs and the device
// checks of a recording.

#include "CaptureInputs.h"
#include "pulse/AudioDevices.h"
#include "pulse/MixerWrap.h"
#include "pulse/PulseAppInput.h"
#include "pulse/PulseMicrophoneInput.h"
#include "pulse/PulseSpeakerInput.h"

namespace zav {
namespace {

class PulseCaptureBackend final : public CaptureBackend {
 public:
  std::unique_ptr<MicrophoneInput> CreateMicrophone(const std::string& device) override {
    return std::make_unique<PulseMicrophoneInput>(device);
  }
  std::unique_ptr<SpeakerInput> CreateSpeaker(const std::string& device) override {
    return std::make_unique<PulseSpeakerInput>(device);
  }
  std::unique_ptr<SpeakerInput> CreateSpeakerForMeter(const std::string& device) override {
    return std::make_unique<PulseSpeakerInput>(device, SystemSoundUse::kMeter);
  }
  std::unique_ptr<SpeakerInput> CreateApplications(const std::vector<std::string>& applications) override {
    return std::make_unique<PulseAppInput>(applications);
  }
};

class SoundServerProbe final : public DeviceProbe {
 public:
  bool HasOutputDevice() override { return zav::HasOutputDevice(); }
  bool GetMicrophoneName(std::u16string* name) override { return zav::GetMicrophoneName(name); }
  bool HasMicrophone(const std::string& name) override {
    AudioDevices devices;
    return !ListAudioDevices(&devices, kListTimeout) || devices.HasMicrophone(name);
  }
  bool HasOutput(const std::string& name) override {
    AudioDevices devices;
    return !ListAudioDevices(&devices, kListTimeout) || devices.HasOutput(name);
  }

 private:
  static constexpr std::chrono::milliseconds kListTimeout{2000};
};

}  // namespace

CaptureBackend& DefaultCaptureBackend() {
  static PulseCaptureBackend backend;
  return backend;
}

DeviceProbe& SoundServerDevices() {
  static SoundServerProbe probe;
  return probe;
}

}  // namespace zav
