// The one place where the engine meets the sound server: the capture inputs and the device
// checks of a recording.

#include "CaptureInputs.h"
#include "pulse/MixerWrap.h"
#include "pulse/PulseMicrophoneInput.h"
#include "pulse/PulseSpeakerInput.h"

namespace zav {
namespace {

class PulseCaptureBackend final : public CaptureBackend {
 public:
  std::unique_ptr<MicrophoneInput> CreateMicrophone() override { return std::make_unique<PulseMicrophoneInput>(); }
  std::unique_ptr<SpeakerInput> CreateSpeaker() override { return std::make_unique<PulseSpeakerInput>(); }
};

class SoundServerProbe final : public DeviceProbe {
 public:
  bool HasOutputDevice() override { return zav::HasOutputDevice(); }
  bool GetMicrophoneName(std::u16string* name) override { return zav::GetMicrophoneName(name); }
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
