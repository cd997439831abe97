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

int VoiceProcessor::Create(bool noiseSuppression, bool gainControl, int voiceSizeDb, bool echoCancellation) {
  webrtc::Config config;
  // The adaptive analog gain control would fight the fixed digital gain set below.
  config.Set<webrtc::ExperimentalAgc>(new webrtc::ExperimentalAgc(false));
  // The delay from the system sound to its echo is not known: the canceller estimates it, and
  // its longer filter copes with loose timing.
  config.Set<webrtc::DelayAgnostic>(new webrtc::DelayAgnostic(echoCancellation));
  config.Set<webrtc::ExtendedFilter>(new webrtc::ExtendedFilter(echoCancellation));
  apm_.reset(webrtc::AudioProcessing::Create(config));
  if (!apm_) {
    LOG(ERROR) << "WebRtcNs_Create error";
    return -1;
  }
  // The system sound goes in at the microphone's rate: the module takes both at one rate.
  using Layout = webrtc::AudioProcessing::ChannelLayout;
  if (apm_->Initialize(kProcessingRate, kProcessingRate, kProcessingRate, Layout::kMono, Layout::kMono,
                       Layout::kMono) != webrtc::AudioProcessing::kNoError) {
    LOG(ERROR) << "the voice processing could not be set up for 32 kHz mono";
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
  echo_ = echoCancellation;
  if (echo_) {
    webrtc::EchoCancellation* aec = apm_->echo_cancellation();
    // The lowest suppression already takes the echo 30 dB and more down; the stronger ones
    // cut the person at the microphone by 5 to 9 dB while the far end talks too, against 3
    // to 4 dB with this one (bench/README.md).
    if (aec->set_suppression_level(webrtc::EchoCancellation::kLowSuppression) != 0 ||
        aec->enable_drift_compensation(false) != 0 || aec->enable_delay_logging(true) != 0 ||
        aec->Enable(true) != 0) {
      LOG(ERROR) << "the echo canceller could not be set up";
      return -1;
    }
  }
  fill_ = 0;
  return 0;
}

bool VoiceProcessor::ProcessBlock(int16_t* block, const int16_t* farEnd) {
  webrtc::AudioFrame frame;
  if (echo_ && farEnd) {
    frame.sample_rate_hz_ = kProcessingRate;
    frame.num_channels_ = 1;
    frame.samples_per_channel_ = kBlockSamples;
    std::memcpy(frame.data_, farEnd, sizeof(int16_t) * kBlockSamples);
    if (apm_->ProcessReverseStream(&frame) != webrtc::AudioProcessing::kNoError) {
      std::fill(block, block + kBlockSamples, int16_t{0});
      return false;
    }
  }
  frame.sample_rate_hz_ = kProcessingRate;
  frame.num_channels_ = 1;
  frame.samples_per_channel_ = kBlockSamples;
  std::memcpy(frame.data_, block, sizeof(int16_t) * kBlockSamples);
  // Required with the canceller on; the delay-agnostic canceller uses it only at its start.
  if (echo_) apm_->set_stream_delay_ms(kEchoStartDelayMs);
  if (apm_->ProcessStream(&frame) != webrtc::AudioProcessing::kNoError) {
    std::fill(block, block + kBlockSamples, int16_t{0});
    return false;
  }
  std::memcpy(block, frame.data_, sizeof(int16_t) * kBlockSamples);
  return true;
}

std::string VoiceProcessor::EchoSummary() const {
  if (!echo_) return {};
  webrtc::EchoCancellation* aec = apm_->echo_cancellation();
  int median = 0, deviation = 0;
  float poor = 0;
  if (aec->GetDelayMetrics(&median, &deviation, &poor) != 0) return "echo canceller: no delay estimate";
  return "echo canceller: delay estimate " + std::to_string(median) + " ms (deviation " + std::to_string(deviation) +
         " ms, " + std::to_string(static_cast<int>(poor * 100)) + " % poor estimates)";
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
  for (; fill_ - offset >= kBlockSamples; offset += kBlockSamples) {
    if (ok) {
      int16_t* block = accumulator_.data() + offset;
      if (ProcessBlock(block, nullptr)) {
        out->insert(out->end(), block, block + kBlockSamples);
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
