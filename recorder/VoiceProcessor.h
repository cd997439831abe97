#pragma once
// Noise suppression and automatic gain control for the microphone, on 10 ms blocks of
// 32 kHz mono 16-bit samples. Samples are gathered in an accumulator so that a packet's
// incomplete last block is processed together with the start of the next packet.
// Used by the microphone thread only.

#include <cstdint>
#include <memory>
#include <vector>

namespace webrtc {
class AudioProcessing;
}

namespace zav {

inline constexpr int kProcessingRate = 32000;
inline constexpr int kBlockSamples = 320;                // 10 ms at 32 kHz
inline constexpr int kAccumulatorSamples = 64000;        // 2 s; 128000 bytes
inline constexpr int kGainTargetDbfs = 3;                // the level the gain control aims at, in -dBFS
inline constexpr int kMaxCompressionGainDb = 90;         // the gain control's own upper limit

class VoiceProcessor {
 public:
  VoiceProcessor();
  ~VoiceProcessor();
  VoiceProcessor(const VoiceProcessor&) = delete;
  VoiceProcessor& operator=(const VoiceProcessor&) = delete;

  // Creates and configures the modules. 0, or -1 after logging the step that failed.
  int Create(bool noiseSuppression, bool gainControl, int voiceSizeDb);

  // Appends `count` samples and processes every whole block; the processed samples are
  // appended to out (a multiple of kBlockSamples). Returns false when a block failed: that
  // block and the blocks after it in this call come out as silence.
  bool Process(const int16_t* samples, int count, std::vector<int16_t>* out);

  int pendingSamples() const { return fill_; }

  // The compression gain the gain control accepts for a boost setting (0..90 dB).
  static int CompressionGainFor(int voiceSizeDb);

 private:
  bool ProcessBlocks(std::vector<int16_t>* out);

  std::unique_ptr<webrtc::AudioProcessing> apm_;
  std::vector<int16_t> accumulator_;
  int fill_ = 0;
};

}  // namespace zav
