#pragma once
// Noise suppression, automatic gain control and echo cancellation for the microphone, on 10 ms
// blocks of 32 kHz mono 16-bit samples. Without echo cancellation, samples are gathered in an
// accumulator so that a packet's incomplete last block is processed together with the start of
// the next packet (Process); with it, the caller hands over each block with the far-end sound
// of its moment (ProcessBlock). Used by the microphone thread only.

#include <cstdint>
#include <memory>
#include <string>
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
// The delay the echo canceller is told at its start. Its adaptive filter (128 ms long) then
// covers echoes that reach the recording about 50 to 175 ms after the system sound it is handed
// with them; EchoAligner moves the system sound so that the echo lands there.
inline constexpr int kEchoStartDelayMs = 120;

class VoiceProcessor {
 public:
  VoiceProcessor();
  ~VoiceProcessor();
  VoiceProcessor(const VoiceProcessor&) = delete;
  VoiceProcessor& operator=(const VoiceProcessor&) = delete;

  // Creates and configures the modules. 0, or -1 after logging the step that failed.
  int Create(bool noiseSuppression, bool gainControl, int voiceSizeDb, bool echoCancellation = false);

  // Appends `count` samples and processes every whole block; the processed samples are
  // appended to out (a multiple of kBlockSamples). Returns false when a block failed: that
  // block and the blocks after it in this call come out as silence.
  bool Process(const int16_t* samples, int count, std::vector<int16_t>* out);

  // Processes one block of kBlockSamples in place. farEnd: the system sound heard at the
  // block's moment (kBlockSamples), for the echo canceller; nullptr without echo cancellation.
  // False when the module failed: the block is then silence.
  bool ProcessBlock(int16_t* block, const int16_t* farEnd);

  int pendingSamples() const { return fill_; }

  // The echo canceller's view of the recording so far, for the log: its estimate of the delay
  // between the system sound and its echo. Empty without echo cancellation.
  std::string EchoSummary() const;

  // The compression gain the gain control accepts for a boost setting (0..90 dB).
  static int CompressionGainFor(int voiceSizeDb);

 private:
  bool ProcessBlocks(std::vector<int16_t>* out);

  std::unique_ptr<webrtc::AudioProcessing> apm_;
  std::vector<int16_t> accumulator_;
  int fill_ = 0;
  bool echo_ = false;
};

}  // namespace zav
