#include <glog/logging.h>

#include "CaptureInputs.h"

namespace zav {
namespace {

class NoCaptureBackend final : public CaptureBackend {
 public:
  std::unique_ptr<MicrophoneInput> CreateMicrophone() override {
    LOG(ERROR) << "no microphone input available";
    return nullptr;
  }
  std::unique_ptr<SpeakerInput> CreateSpeaker() override { return nullptr; }
};

}  // namespace

CaptureBackend& DefaultCaptureBackend() {
  static NoCaptureBackend backend;
  return backend;
}

}  // namespace zav
