// The microphone thread: reads the microphone packet by packet, optionally cleans it
// (noise suppression, gain control at 32 kHz mono), converts it to the output format and
// queues it in the microphone FIFO. Idle and paused audio is read and dropped, so that
// recording resumes with current sound.

#include <glog/logging.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "RecorderCore.h"
#include "ThreadGuard.h"
#include "Trace.h"
#include "VoiceProcessor.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace zav {
namespace {

constexpr int kBarrierPollMs = 2;
constexpr int kRetryMs = 10;          // after a failed read
constexpr int kReopenEveryMs = 1000;  // how often a vanished microphone is looked for
// The sound server's input wakes a waiting reader at every message from the server, several
// times per packet (measured: five wake-ups per 50 ms packet). Napping for most of a
// packet's length after a read that had to wait lets the next packet gather meanwhile.
constexpr int kNapPercentOfPacket = 75;
constexpr int kMaxNapMs = 40;   // keeps Stop prompt
constexpr int kWaitedReadMs = 2;  // a read that returns sooner came from a backlog: no nap

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class MicrophoneLoop {
 public:
  explicit MicrophoneLoop(RecorderCore& core)
      : core_(core),
        input_(*core.microphone),
        device_(input_.Format()),
        processing_(core.noiseSuppression || core.gainControl),
        outputFormat_(core.output.choice().sampleFormat) {}

  int Run() {
    FramePtr frame(av_frame_alloc());
    if (!frame) return -1;
    // The processing modules and their buffers are made only when they will be used.
    if (processing_) {
      processor_ = std::make_unique<VoiceProcessor>();
      if (processor_->Create(core_.noiseSuppression, core_.gainControl, core_.voiceSize) != 0) return -1;
    }
    lastAudioMs_ = NowMs();
    while (!core_.stopRequested) {
      if (core_.isBoth()) WaitAtStartBarrier();
      const int64_t readStartMs = NowMs();
      const MicrophoneInput::ReadResult read = input_.ReadFrame(frame.get());
      if (read == MicrophoneInput::kReadFailed) {
        OnReadFailed();
        continue;
      }
      if (failing_) OnRecovered();
      lastAudioMs_ = NowMs();
      if (read == MicrophoneInput::kDecodeFailed) {
        LOG(ERROR) << "can not decoder a frame";
        continue;
      }
      if (core_.running && Queue(frame->extended_data, frame->nb_samples) < 0) return -1;
      if (lastAudioMs_ - readStartMs >= kWaitedReadMs) NapAfter(frame->nb_samples);
      av_frame_unref(frame.get());
    }
    Trace("micophone audio capture thread exit\n");
    return 0;
  }

 private:
  // Both mode: drop what the microphone buffered until system sound is ready too.
  void WaitAtStartBarrier() {
    while (!(core_.micReady && core_.speakerReady) && !core_.stopRequested) {
      input_.Flush();
      core_.micReady = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(kBarrierPollMs));
    }
  }

  // A vanished microphone: the recording goes on with silence in its place (so the
  // elapsed time keeps pace with the clock) while the device is looked for again.
  void OnReadFailed() {
    if (!failing_) LOG(ERROR) << "read audio packet err";
    failing_ = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    const int64_t now = NowMs();
    if (core_.running) {
      const int silence = static_cast<int>((now - lastAudioMs_) * kOutputSampleRate / 1000);
      if (silence > 0 && QueueSilence(silence) == 0) lastAudioMs_ = now;
    } else {
      lastAudioMs_ = now;
    }
    if (now - lastReopenMs_ >= kReopenEveryMs) {
      lastReopenMs_ = now;
      if (input_.Reopen() == 0) LOG(INFO) << "microphone is back";
    }
  }

  void OnRecovered() { failing_ = false; }

  void NapAfter(int samples) {
    const int64_t packetMs = int64_t{samples} * 1000 / std::max(device_.sampleRate, 1);
    const int64_t napMs = std::min<int64_t>(packetMs * kNapPercentOfPacket / 100, kMaxNapMs);
    if (napMs > 0 && !core_.stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(napMs));
  }

  // Converts one decoded frame (or its processed signal) and queues it. Negative: the
  // thread must end.
  int Queue(uint8_t* const* data, int samples) {
    if (!processing_) return Convert(data, samples);
    if (Process(data, samples) < 0) return -1;
    if (processed_.empty()) return 0;
    const uint8_t* processed = reinterpret_cast<const uint8_t*>(processed_.data());
    return Convert(&processed, static_cast<int>(processed_.size()));
  }

  int Process(uint8_t* const* data, int samples) {
    processed_.clear();
    if (!to32k_) {
      AVChannelLayout inLayout, mono;
      av_channel_layout_default(&inLayout, device_.channels);
      av_channel_layout_default(&mono, 1);
      SwrContext* swr = nullptr;
      if (swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_S16, kProcessingRate, &inLayout,
                              static_cast<AVSampleFormat>(device_.sampleFormat), device_.sampleRate, 0, nullptr) < 0 ||
          !swr) {
        LOG(ERROR) << "swr alloc error";
        return -1;
      }
      to32k_.reset(swr);
      if (swr_init(swr) < 0) {
        LOG(ERROR) << "swr init error";
        return -1;
      }
    }
    const int capacity = swr_get_out_samples(to32k_.get(), samples);
    if (capacity < 0) {
      LOG(ERROR) << "samples alloc error";
      return -1;
    }
    buffer32k_.resize(static_cast<size_t>(capacity));
    uint8_t* out = reinterpret_cast<uint8_t*>(buffer32k_.data());
    const int converted =
        swr_convert(to32k_.get(), &out, capacity, const_cast<const uint8_t**>(data), samples);
    if (converted < 0) {
      LOG(ERROR) << "Error while converting";
      return -1;
    }
    processor_->Process(buffer32k_.data(), converted, &processed_);
    return 0;
  }

  int Convert(const uint8_t* const* source, int count) {
    SwrContext* swr = core_.micToOutput.get();
    const int capacity = swr_get_out_samples(swr, count);
    if (capacity <= 0) {
      LOG(ERROR) << "av_rescale_rnd error";
      return -1;
    }
    if (output_.Reserve(capacity, kOutputChannels, outputFormat_) < 0) {
      LOG(ERROR) << "av_samples_alloc_array_and_samples error";
      return -1;
    }
    const int converted = swr_convert(swr, output_.planes, capacity, const_cast<const uint8_t**>(source), count);
    if (converted < 0) {
      LOG(ERROR) << "Error while converting";
      return -1;
    }
    if (converted > 0) core_.micFifo.WriteWaiting(reinterpret_cast<void* const*>(output_.planes), converted, core_.stopRequested);
    return 0;
  }

  int QueueSilence(int samples) {
    if (silence_.Reserve(samples, kOutputChannels, outputFormat_) < 0) return -1;
    av_samples_set_silence(silence_.planes, 0, samples, kOutputChannels, outputFormat_);
    return core_.micFifo.WriteWaiting(reinterpret_cast<void* const*>(silence_.planes), samples, core_.stopRequested)
               ? 0
               : -1;
  }

  RecorderCore& core_;
  MicrophoneInput& input_;
  const CaptureFormat device_;
  const bool processing_;
  const AVSampleFormat outputFormat_;
  std::unique_ptr<VoiceProcessor> processor_;
  SwrPtr to32k_;
  std::vector<int16_t> buffer32k_;
  std::vector<int16_t> processed_;
  SampleBuffer output_;
  SampleBuffer silence_;
  bool failing_ = false;
  int64_t lastAudioMs_ = 0;
  int64_t lastReopenMs_ = 0;
};

}  // namespace

int RunMicrophoneThread(RecorderCore& core) {
  const int result = RunGuarded("zav-microphone", [&core] { return MicrophoneLoop(core).Run(); });
  core.micReady = true;  // never hold system sound at the start barrier
  return result;
}

}  // namespace zav
