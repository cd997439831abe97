// The encoder thread: one frame of the encoder's frame size per pass, taken from the
// microphone FIFO, the system-sound FIFO, both through the mixing graph, or made of
// silence at real-time pace; encoded and written; whole seconds posted to the owner.

#include <glog/logging.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "RecorderCore.h"
#include "ThreadGuard.h"
#include "SilencePacer.h"
#include "Trace.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace zav {
namespace {

constexpr int kIdleSleepMs = 100;        // while Idle or Paused

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

FramePtr MakeFrame(const EncoderChoice& choice, bool withBuffer) {
  FramePtr frame(av_frame_alloc());
  if (!frame) return nullptr;
  frame->nb_samples = choice.frameSize;
  frame->format = choice.sampleFormat;
  frame->sample_rate = kOutputSampleRate;
  av_channel_layout_default(&frame->ch_layout, kOutputChannels);
  if (withBuffer && av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  return frame;
}

// Makes the frame's buffer ours again (the encoder may still reference the last one)
// and restores its full size.
bool Reuse(AVFrame* frame, int frameSize) {
  frame->nb_samples = frameSize;
  return av_frame_make_writable(frame) >= 0;
}

void Silence(AVFrame* frame, int from) {
  if (from >= frame->nb_samples) return;
  av_samples_set_silence(frame->extended_data, from, frame->nb_samples - from,
                         frame->ch_layout.nb_channels, static_cast<AVSampleFormat>(frame->format));
}

// Waits until the system-sound FIFO holds a whole frame, the sound stops or Stop is called.
// The speaker thread and Stop wake the FIFO after each of these.
void WaitForSpeaker(RecorderCore& core, int frameSize) {
  core.speakerFifo.WaitForSamples(frameSize, core.encoderStop, core.speakerActive);
}

// Reads up to a frame of system sound; the rest of the frame is silence.
void ReadSpeaker(RecorderCore& core, AVFrame* frame) {
  const int read = core.speakerFifo.ReadUpTo(reinterpret_cast<void* const*>(frame->extended_data), frame->nb_samples);
  Silence(frame, read);
}

class EncoderLoop {
 public:
  explicit EncoderLoop(RecorderCore& core)
      : core_(core),
        choice_(core.output.choice()),
        pacer_(kOutputSampleRate, choice_.frameSize),
        mic_(MakeFrame(choice_, true)),
        speaker_(MakeFrame(choice_, true)),
        mixed_(MakeFrame(choice_, false)) {}

  int Run() {
    if (!mic_ || !speaker_ || !mixed_) return -1;
    pacer_.Restart(NowMs());
    while (!core_.encoderStop) {
      bool idled = false;
      while (!core_.running && !core_.encoderStop) {
        idled = true;
        core_.WaitForRunChange(NowMs() + kIdleSleepMs, false, core_.encoderStop);
      }
      if (idled) {
        // Silence pacing starts afresh when recording starts or resumes.
        resumedMs_ = NowMs();
        pacer_.Restart(resumedMs_);
      }
      if (core_.encoderStop) break;
      if (!Reuse(mic_.get(), choice_.frameSize) || !Reuse(speaker_.get(), choice_.frameSize)) return -1;
      if (Pass() < 0) return -1;
    }
    Trace("audio encode thread exit\n");
    return 0;
  }

 private:
  // One frame by mode. Negative: the thread must end.
  int Pass() {
    const int fs = choice_.frameSize;
    if (core_.mute) {
      SleepMs(pacer_.NextDelayMs(NowMs()));
      Silence(speaker_.get(), 0);
      return Encode(speaker_.get());
    }
    switch (static_cast<VoiceSource>(core_.voiceSource)) {
      case VoiceSource::Both: {
        if (!core_.micFifo.ReadWaiting(reinterpret_cast<void* const*>(mic_->extended_data), fs, core_.encoderStop))
          return 0;  // Stop: what is left is drained afterwards
        WaitForSpeaker(core_, fs);
        // System sound that stopped may have left its last chunk: it is mixed in step.
        ReadSpeaker(core_, speaker_.get());
        return MixAndEncode();
      }
      case VoiceSource::Microphone:
        if (!core_.micFifo.exists()) {
          LOG(ERROR) << "audio fifo is null";
          return -1;
        }
        if (!core_.micFifo.ReadWaiting(reinterpret_cast<void* const*>(mic_->extended_data), fs, core_.encoderStop))
          return 0;
        return Encode(mic_.get());
      case VoiceSource::Speaker:
        if (core_.speakerActive) {
          // Should system sound stop, silence follows from its last audio on.
          pacer_.Restart(std::max<int64_t>(core_.speakerHeardMs, resumedMs_));
          WaitForSpeaker(core_, fs);
          if (core_.encoderStop) return 0;
        }
        if (core_.speakerFifo.size() > 0) {
          ReadSpeaker(core_, speaker_.get());
        } else {
          SleepMs(pacer_.NextDelayMs(NowMs()));
          Silence(speaker_.get(), 0);
        }
        return Encode(speaker_.get());
      default:
        SleepMs(kIdleSleepMs);  // an unknown source records nothing
        return 0;
    }
  }

  int MixAndEncode() {
    int code = 0;
    switch (core_.graph.Mix(mic_.get(), speaker_.get(), mixed_.get(), &code)) {
      case MixGraph::kMicAddFailed:
        LOG(ERROR) << "audio mic frame add  filtergraph error, ret=" << code;
        return -1;
      case MixGraph::kSpeakerAddFailed:
        LOG(ERROR) << "audio spk frame add  filtergraph error, ret=" << code;
        return -1;
      case MixGraph::kSinkFailed:
        LOG(ERROR) << "get audio frame from filtergraph error, ret=" << code;
        return -1;
      case MixGraph::kOk:
        break;
    }
    const int r = Encode(mixed_.get());
    av_frame_unref(mixed_.get());
    return r;
  }

  int Encode(AVFrame* frame) {
    core_.output.Encode(frame);
    ReportProgress(core_);
    return core_.output.encodeFailed() ? -1 : 0;
  }

  RecorderCore& core_;
  const EncoderChoice choice_;
  SilencePacer pacer_;
  int64_t resumedMs_ = 0;  // when recording last started or resumed
  FramePtr mic_;
  FramePtr speaker_;
  FramePtr mixed_;
};

}  // namespace

void ReportProgress(RecorderCore& core) {
  const int64_t seconds = core.output.writtenSeconds();
  if (seconds != core.lastReportedSeconds) {
    core.lastReportedSeconds = seconds;
    core.Post(WM_RECORD_SECONDS, static_cast<intptr_t>(seconds));
  }
  if (core.output.writeFailed() && !core.faultReported.exchange(true)) {
    core.Post(kWmRecordFault, static_cast<intptr_t>(RecorderFault::kWriteFailed));
  }
  if (core.output.fileGone() && !core.goneReported.exchange(true)) {
    core.Post(kWmRecordFault, static_cast<intptr_t>(RecorderFault::kFileGone));
  }
  if ((core.encoderFailed || core.output.encodeFailed()) && !core.encoderFailReported.exchange(true)) {
    core.Post(kWmRecordFault, static_cast<intptr_t>(RecorderFault::kEncodeFailed));
  }
}

int RunEncoderThread(RecorderCore& core) {
  const int result = RunGuarded("zav-encoder", [&core] { return EncoderLoop(core).Run(); });
  if (result < 0) {
    // Nothing more is recorded: said to the owner, and in the finished file's report.
    LOG(ERROR) << "the encoder thread ended on an error; the recording stops growing";
    core.encoderFailed = true;
    ReportProgress(core);
  }
  return result;
}

void DrainFifos(RecorderCore& core) {
  if (core.mute || !core.output.codec()) return;
  const EncoderChoice& choice = core.output.choice();
  const int fs = choice.frameSize;
  FramePtr mic = MakeFrame(choice, true);
  FramePtr speaker = MakeFrame(choice, true);
  FramePtr mixed = MakeFrame(choice, false);
  if (!mic || !speaker || !mixed) return;
  const bool both = core.isBoth();
  for (;;) {
    const int micLeft = core.micFifo.size();
    const int speakerLeft = core.speakerFifo.size();
    const int left = both ? std::max(micLeft, speakerLeft)
                          : (core.voiceSource == static_cast<int>(VoiceSource::Microphone) ? micLeft : speakerLeft);
    if (left <= 0) break;
    const int n = std::min(left, fs);
    if (!Reuse(mic.get(), fs) || !Reuse(speaker.get(), fs)) return;
    AVFrame* out = nullptr;
    if (both) {
      Silence(mic.get(), core.micFifo.ReadUpTo(reinterpret_cast<void* const*>(mic->extended_data), n));
      Silence(speaker.get(), core.speakerFifo.ReadUpTo(reinterpret_cast<void* const*>(speaker->extended_data), n));
      int code = 0;
      if (core.graph.Mix(mic.get(), speaker.get(), mixed.get(), &code) != MixGraph::kOk) return;
      out = mixed.get();
    } else {
      out = core.voiceSource == static_cast<int>(VoiceSource::Microphone) ? mic.get() : speaker.get();
      SampleFifo& fifo = out == mic.get() ? core.micFifo : core.speakerFifo;
      fifo.ReadUpTo(reinterpret_cast<void* const*>(out->extended_data), n);
    }
    out->nb_samples = n;  // the encoders take a shorter last frame
    core.output.Encode(out);
    av_frame_unref(mixed.get());
    ReportProgress(core);
    if (n < fs) break;
  }
}

}  // namespace zav
