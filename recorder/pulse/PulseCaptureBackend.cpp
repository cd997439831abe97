#include "CaptureInputs.h"
#include "pulse/PulseMicrophoneInput.h"
#include "pulse/PulseSpeakerInput.h"

namespace zav {
namespace {

class PulseCaptureBackend final : public CaptureBackend {
 public:
  std::unique_ptr<MicrophoneInput> CreateMicrophone() override { return std::make_unique<PulseMicrophoneInput>(); }
  std::unique_ptr<SpeakerInput> CreateSpeaker() override { return std::make_unique<PulseSpeakerInput>(); }
};

}  // namespace

CaptureBackend& DefaultCaptureBackend() {
  static PulseCaptureBackend backend;
  return backend;
}

}  // namespace zav
