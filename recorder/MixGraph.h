#pragma once
// The two-input mixing graph "[in0][in1]amix=inputs=2[out]": system sound into "in0",
// the microphone into "in1", mixed frames of the encoder's frame size out of "out".

#include "FfmpegHandles.h"

namespace zav {

class MixGraph {
 public:
  enum MixResult { kOk = 0, kSpeakerAddFailed = -1, kMicAddFailed = -2, kSinkFailed = -3 };

  // Builds the graph for the encoder's format. 0, or -1 after logging the failed step.
  int Build(const AVCodecContext* encoder, int frameSize);
  bool built() const { return graph_ != nullptr; }

  // Mixes one microphone frame and one speaker frame (same sample count) into out.
  // On failure *code holds the FFmpeg result of the failed step.
  MixResult Mix(AVFrame* mic, AVFrame* speaker, AVFrame* out, int* code);

 private:
  FilterGraphPtr graph_;
  AVFilterContext* speakerSource_ = nullptr;  // "in0"
  AVFilterContext* micSource_ = nullptr;      // "in1"
  AVFilterContext* sink_ = nullptr;           // "out"
  int64_t speakerPts_ = 0;
  int64_t micPts_ = 0;
};

}  // namespace zav
