// The speaker thread: polls the system-sound input for packets, gathers them into chunks
// of 22050 frames, converts each chunk to the output format and queues it in the
// system-sound FIFO. Tells the encoder whether system sound flows at all (speakerActive).

#include <glog/logging.h>
#include <pthread.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "RecorderCore.h"
#include "ThreadGuard.h"
#include "Trace.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace zav {
namespace {

constexpr int kChunkFrames = 22050;
constexpr int kBytesPerSample = 4;   // signed 32-bit
// Each pass takes every pending packet. Waking every 10 ms made this thread cost nearly as
// much CPU as encoding; the audio is queued in half-second chunks anyway, so a longer nap
// loses nothing.
constexpr int kPollMs = 50;
constexpr int kInactiveAfterPolls = 1000 / kPollMs;  // a second without packets: no system sound
constexpr int kBarrierPollMs = 2;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class SpeakerLoop {
 public:
  SpeakerLoop(RecorderCore& core, SpeakerInput& input) : core_(core), input_(input) {}

  int Open() {
    if (input_.Open() != 0) return -1;
    format_ = input_.Format();
    AVChannelLayout inLayout, outLayout;
    av_channel_layout_default(&inLayout, format_.channels);
    av_channel_layout_default(&outLayout, kOutputChannels);
    outputFormat_ = core_.output.choice().sampleFormat;
    SwrContext* swr = nullptr;
    if (swr_alloc_set_opts2(&swr, &outLayout, outputFormat_, kOutputSampleRate, &inLayout, AV_SAMPLE_FMT_S32,
                            format_.sampleRate, 0, nullptr) < 0 ||
        !swr) {
      LOG(ERROR) << "Could not allocate resampler context";
      return -1;
    }
    resampler_.reset(swr);
    if (swr_init(swr) < 0) {
      LOG(ERROR) << "swr_init error";
      return -1;
    }
    const int64_t delay = swr_get_delay(swr, format_.sampleRate);
    const int outFrames = static_cast<int>(
        av_rescale_rnd(delay + kChunkFrames, kOutputSampleRate, format_.sampleRate, AV_ROUND_UP));
    if (converted_.Reserve(outFrames, kOutputChannels, outputFormat_) < 0) {
      LOG(ERROR) << "av_frame_get_buffer error";
      return -1;
    }
    frameBytes_ = format_.channels * kBytesPerSample;
    chunk_.assign(static_cast<size_t>(frameBytes_) * kChunkFrames, 0);
    fill_ = 0;
    return 0;
  }

  int Run() {
    int idlePolls = 0;
    while (!core_.stopRequested) {
      if (core_.isBoth()) DrainAtStartBarrier();
      if (core_.stopRequested) break;
      const int pending = input_.NextPacketFrames();
      if (pending < 0) {
        LOG(ERROR) << "AudioCaptureClient GetNextPacketSize error";
        return -1;
      }
      if (!core_.running) {
        if (pending > 0) {
          if (Discard() < 0) return -1;
        } else {
          SleepMs(kPollMs);
        }
        continue;
      }
      if (pending == 0) {
        SleepMs(kPollMs);
        if (++idlePolls >= kInactiveAfterPolls) {
          core_.speakerActive = false;
          core_.speakerFifo.WakeAll();  // the encoder may be waiting for system sound
          idlePolls = 0;
        }
        continue;
      }
      core_.speakerActive = true;
      const void* data = nullptr;
      int frames = 0;
      if (input_.GetBuffer(&data, &frames) < 0) {
        LOG(ERROR) << "AudioCaptureClient GetBuffer  error";
        return -1;
      }
      if (Append(static_cast<const uint8_t*>(data), frames) < 0) return -1;
      if (input_.ReleaseBuffer() < 0) {
        LOG(ERROR) << "AudioCaptureClient ReleaseBuffer  error";
        return -1;
      }
      idlePolls = 0;
    }
    // What was captured before Stop but not yet converted still belongs to the recording.
    if (fill_ > 0) ConvertChunk(fill_ / frameBytes_);
    Trace("speaker audio capture thread exit\n");
    return 0;
  }

 private:
  void DrainAtStartBarrier() {
    while (!(core_.speakerReady && core_.micReady) && !core_.stopRequested) {
      const int pending = input_.NextPacketFrames();
      if (pending > 0) {
        Discard();
      } else {
        core_.speakerReady = true;
        SleepMs(kBarrierPollMs);
      }
    }
  }

  int Discard() {
    const void* data = nullptr;
    int frames = 0;
    if (input_.GetBuffer(&data, &frames) < 0) return -1;
    return input_.ReleaseBuffer();
  }

  // Appends a packet (nullptr data: a gap, read as silence), converting every full chunk.
  int Append(const uint8_t* data, int frames) {
    size_t bytes = static_cast<size_t>(frames) * frameBytes_;
    while (bytes > 0) {
      const size_t room = chunk_.size() - fill_;
      const size_t take = std::min(room, bytes);
      if (data) {
        std::memcpy(chunk_.data() + fill_, data, take);
        data += take;
      } else {
        std::memset(chunk_.data() + fill_, 0, take);
      }
      fill_ += take;
      bytes -= take;
      if (fill_ == chunk_.size() && ConvertChunk(kChunkFrames) < 0) return -1;
    }
    return 0;
  }

  int ConvertChunk(int frames) {
    const uint8_t* in = chunk_.data();
    const int n = swr_convert(resampler_.get(), converted_.planes, converted_.capacity, &in, frames);
    std::fill(chunk_.begin(), chunk_.end(), 0);
    fill_ = 0;
    if (n < 0) {
      LOG(ERROR) << "swr_convert  error";
      return -1;
    }
    if (n > 0) core_.speakerFifo.WriteOrDrop(reinterpret_cast<void* const*>(converted_.planes), n);
    return 0;
  }

  RecorderCore& core_;
  SpeakerInput& input_;
  CaptureFormat format_;
  AVSampleFormat outputFormat_ = AV_SAMPLE_FMT_S16;
  SwrPtr resampler_;
  SampleBuffer converted_;
  std::vector<uint8_t> chunk_;
  size_t fill_ = 0;
  int frameBytes_ = 8;
};

}  // namespace

int RunSpeakerThread(RecorderCore& core) {
  const int result = RunGuarded("zav-speaker", [&core] {
    std::unique_ptr<SpeakerInput> input = core.backend->CreateSpeaker();
    if (!input) return -1;
    SpeakerLoop loop(core, *input);
    return loop.Open() == 0 ? loop.Run() : -1;
  });
  core.speakerReady = true;  // never hold the microphone at the start barrier
  if (result != 0) {
    // No more system sound will come: the encoder mixes silence instead of waiting for it.
    core.speakerActive = false;
    core.speakerFifo.WakeAll();
  }
  return result;
}

}  // namespace zav
