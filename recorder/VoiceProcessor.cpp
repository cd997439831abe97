#include "VoiceProcessor.h"

#include <glog/logging.h>

#include <algorithm>
#include <cstring>

#include "Trace.h"
#include "webrtc/modules/audio_processing/include/audio_processing.h"
#include "webrtc/modules/interface/module_common_types.h"

namespace zav {

VoiceProcessor::VoiceProcessor() : accumulator_(kAccumulatorSamples) {}
VoiceProcessor::~VoiceProcessor() = default;

int VoiceProcessor::CompressionGainFor(int voiceSizeDb) {
  return std::clamp(voiceSizeDb, 0, kMaxCompressionGainDb);
}

int VoiceProcessor::Create(bool noiseSuppression, bool gainControl, int voiceSizeDb) {
  webrtc::Config config;
  // The adaptive analog gain control would fight the fixed digital gain set below.
  config.Set<webrtc::ExperimentalAgc>(new webrtc::ExperimentalAgc(false));
  apm_.reset(webrtc::AudioProcessing::Create(config));
  if (!apm_) {
    LOG(ERROR) << "WebRtcNs_Create error";
    return -1;
  }
  webrtc::NoiseSuppression* ns = apm_->noise_suppression();
  if (ns->set_level(webrtc::NoiseSuppression::kVeryHigh) != 0) {
    LOG(ERROR) << "WebRtcNs_set_policy error";
    return -1;
  }
  if (ns->Enable(noiseSuppression) != 0) {
    LOG(ERROR) << "WebRtcNs_Init error";
    return -1;
  }
  webrtc::GainControl* agc = apm_->gain_control();
  if (agc->set_mode(webrtc::GainControl::kFixedDigital) != 0 ||
      agc->set_target_level_dbfs(kGainTargetDbfs) != 0 ||
      agc->set_compression_gain_db(CompressionGainFor(voiceSizeDb)) != 0 || agc->enable_limiter(true) != 0) {
    LOG(ERROR) << "WebRtcAgc_set_config error";
    return -1;
  }
  if (agc->Enable(gainControl) != 0) {
    LOG(ERROR) << "WebRtcAgc_Create error";
    return -1;
  }
  fill_ = 0;
  return 0;
}

bool VoiceProcessor::Process(const int16_t* samples, int count, std::vector<int16_t>* out) {
  bool ok = true;
  while (count > 0) {
    const int take = std::min(count, kAccumulatorSamples - fill_);
    std::memcpy(accumulator_.data() + fill_, samples, sizeof(int16_t) * take);
    fill_ += take;
    samples += take;
    count -= take;
    ok = ProcessBlocks(out) && ok;
  }
  return ok;
}

bool VoiceProcessor::ProcessBlocks(std::vector<int16_t>* out) {
  int offset = 0;
  bool ok = true;
  webrtc::AudioFrame frame;
  for (; fill_ - offset >= kBlockSamples; offset += kBlockSamples) {
    if (ok) {
      frame.sample_rate_hz_ = kProcessingRate;
      frame.num_channels_ = 1;
      frame.samples_per_channel_ = kBlockSamples;
      std::memcpy(frame.data_, accumulator_.data() + offset, sizeof(int16_t) * kBlockSamples);
      if (apm_->ProcessStream(&frame) == webrtc::AudioProcessing::kNoError) {
        out->insert(out->end(), frame.data_, frame.data_ + kBlockSamples);
        continue;
      }
      Trace("failed in WebRtcAgc_Process\n");
      ok = false;
    }
    // A failed block and the blocks after it in this call give silence, so that the
    // microphone keeps pace with the clock.
    out->insert(out->end(), kBlockSamples, 0);
  }
  const int tail = fill_ - offset;
  std::memmove(accumulator_.data(), accumulator_.data() + offset, sizeof(int16_t) * tail);
  fill_ = tail;
  return ok;
}

}  // namespace zav
