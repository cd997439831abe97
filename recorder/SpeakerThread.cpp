// The speaker thread: polls the system-sound input for packets, gathers them into chunks
// of 22050 frames, converts each chunk to the output format and queues it in the
// system-sound FIFO. Tells the encoder whether system sound flows at all (speakerActive).
//
// The input may change its format (another default sink, a restarted sound server): the
// chunk gathered so far is converted in the old format, then the converter and the chunk
// are set up for the new one. Audio that a resumed sound server delivers late, for time the
// encoder already filled with silence, is dropped.

#include <glog/logging.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "LevelMeter.h"
#include "RealTimeGate.h"
#include "RecorderCore.h"
#include "Resampler.h"
#include "ThreadGuard.h"
#include "Trace.h"

namespace zav {
namespace {

constexpr int kChunkFrames = 22050;
constexpr int kBytesPerSample = 4;   // signed 32-bit
// Each pass takes every pending packet. Waking every 10 ms made this thread cost nearly as
// much CPU as encoding; the audio is queued in half-second chunks anyway, so a longer nap
// loses nothing.
constexpr int kPollMs = 50;
constexpr int kInactiveAfterMs = 1000;  // a second without packets: no system sound
constexpr int kInactiveAfterPolls = kInactiveAfterMs / kPollMs;
// Polls without packets after which the meter shows silence.
constexpr int kQuietAfterPolls = 2;

class SpeakerLoop {
 public:
  SpeakerLoop(RecorderCore& core, SpeakerInput& input)
      : core_(core), input_(input), outputFormat_(core.output.choice().sampleFormat) {}

  int Open() {
    if (input_.Open(core_.stopRequested) != 0) return -1;
    return SetUp(input_.Format());
  }

  int Run() {
    int idlePolls = 0;
    int quietPolls = 0;  // polls in a row without packets
    while (!core_.stopRequested) {
      const bool running = core_.running;
      if (running != wasRunning_) {
        // Start and Pause wake this thread at once: audio heard before Start is dropped,
        // audio heard before Pause is kept.
        wasRunning_ = running;
        const int64_t now = SteadyNowMs();
        if (running) {
          if (DropPending() < 0) return -1;
          gate_.Restart(now);
          meter_.Reset(format_.sampleRate, format_.channels);
          idlePolls = 0;
          quietPolls = 0;
          // Until a second passes without any, system sound is expected: the encoder waits for
          // it rather than running ahead with silence in its place.
          core_.speakerActive = true;
          restarted_ = true;
        } else {
          if (TakePending(now) < 0) return -1;
          ReportToDrift(now);
        }
        continue;
      }
      const int pending = NextPacket();
      if (pending < 0) return -1;
      const int64_t now = SteadyNowMs();
      if (!running) {
        if (pending > 0) {
          if (Discard() < 0) return -1;
        } else {
          core_.WaitForRunChange(now + kPollMs, false, core_.stopRequested);
        }
        continue;
      }
      if (pending == 0) {
        ReportToDrift(now);
        core_.WaitForRunChange(now + kPollMs, true, core_.stopRequested);
        if (++quietPolls >= kQuietAfterPolls && core_.measuresLevels())
          core_.PublishLevel(LevelSource::kSystemSound, SourceLevel{true}, now);
        if (++idlePolls >= kInactiveAfterPolls) {
          // What was gathered goes to the encoder first, so that it is mixed in step with the
          // microphone, before the encoder turns to silence.
          if (core_.speakerActive && ConvertChunk(fill_ / frameBytes_) < 0) return -1;
          core_.speakerActive = false;
          core_.speakerFifo.WakeAll();  // the encoder may be waiting for system sound
          idlePolls = 0;
        }
        // While nothing arrives the encoder fills silence: what a resumed server delivers
        // for that time afterwards is late.
        gate_.SilenceDue(SteadyNowMs());
        continue;
      }
      if (TakePacket(now) < 0) return -1;
      idlePolls = 0;
      quietPolls = 0;
    }
    // What was heard until Stop belongs to the recording, also what was not yet converted.
    if (wasRunning_ && TakePending(SteadyNowMs()) < 0) return -1;
    if (ConvertChunk(fill_ / frameBytes_) < 0) return -1;
    Trace("speaker audio capture thread exit\n");
    return 0;
  }

 private:
  // The converter, the chunk and the clock for packets in `format`. 0, or -1 after logging.
  int SetUp(const CaptureFormat& format) {
    if (format.channels <= 0 || format.sampleRate <= 0) {
      LOG(ERROR) << "Unsupported Audio Format";
      return -1;
    }
    format_ = format;
    const AudioSpec in{format.sampleRate, format.channels, AV_SAMPLE_FMT_S32};
    resampler_ = MakeResampler(in, {kOutputSampleRate, kOutputChannels, outputFormat_},
                               "Could not allocate resampler context", "swr_init error");
    if (!resampler_) return -1;
    const int64_t delay = swr_get_delay(resampler_.get(), format.sampleRate);
    const int outFrames = static_cast<int>(
        av_rescale_rnd(delay + kChunkFrames, kOutputSampleRate, format.sampleRate, AV_ROUND_UP));
    if (converted_.Reserve(outFrames, kOutputChannels, outputFormat_) < 0) {
      LOG(ERROR) << "av_frame_get_buffer error";
      return -1;
    }
    frameBytes_ = format.channels * kBytesPerSample;
    meter_.Reset(format.sampleRate, format.channels);
    chunk_.assign(static_cast<size_t>(frameBytes_) * kChunkFrames, 0);
    fill_ = 0;
    gate_ = RealTimeGate(format.sampleRate, kInactiveAfterMs);
    gate_.Restart(SteadyNowMs());
    return 0;
  }

  // Frames of the next pending packet, after following a change of the input's format.
  int NextPacket() {
    const int pending = input_.NextPacketFrames();
    if (pending < 0) {
      LOG(ERROR) << "AudioCaptureClient GetNextPacketSize error";
      return -1;
    }
    const CaptureFormat now = input_.Format();
    if (now == format_) return pending;
    // Everything gathered so far is in the old format: convert it with the old converter,
    // with what the converter still holds.
    if (ConvertChunk(fill_ / frameBytes_) < 0 || DrainResampler() < 0) return -1;
    LOG(INFO) << "system sound format: " << now.sampleRate << " Hz, " << now.channels << " channels";
    return SetUp(now) < 0 ? -1 : pending;
  }

  int Discard() {
    const void* data = nullptr;
    int frames = 0;
    if (input_.GetBuffer(&data, &frames) < 0) return -1;
    return input_.ReleaseBuffer();
  }

  int DropPending() {
    for (int pending = NextPacket(); pending != 0; pending = NextPacket()) {
      if (pending < 0 || Discard() < 0) return -1;
    }
    return 0;
  }

  int TakePending(int64_t now) {
    for (int pending = NextPacket(); pending != 0; pending = NextPacket()) {
      if (pending < 0 || TakePacket(now) < 0) return -1;
    }
    return 0;
  }

  // Takes the pending packet, which arrived by now.
  int TakePacket(int64_t now) {
    if (!core_.speakerActive.exchange(true)) {
      // Less than a frame may be left from before: it is not in step with anything now.
      core_.speakerFifo.Clear();
      restarted_ = true;
    }
    core_.speakerHeardMs = now;
    const void* data = nullptr;
    int frames = 0;
    if (input_.GetBuffer(&data, &frames) < 0) {
      LOG(ERROR) << "AudioCaptureClient GetBuffer  error";
      return -1;
    }
    if (Take(static_cast<const uint8_t*>(data), frames, now) < 0) return -1;
    if (input_.ReleaseBuffer() < 0) {
      LOG(ERROR) << "AudioCaptureClient ReleaseBuffer  error";
      return -1;
    }
    return 0;
  }

  // Takes a packet that arrived at now: late audio is dropped, the rest is gathered.
  int Take(const uint8_t* data, int frames, int64_t now) {
    const int late = static_cast<int>(gate_.Late(now, frames));
    if (data && late > 0) data += static_cast<size_t>(late) * frameBytes_;
    frames -= late;
    if (frames <= 0) return 0;
    takenThisPoll_ += av_rescale(frames, kOutputSampleRate, format_.sampleRate);
    // System sound is measured as it arrives.
    if (core_.measuresLevels() && meter_.Add(data, frames, AV_SAMPLE_FMT_S32))
      core_.PublishLevel(LevelSource::kSystemSound, meter_.level(), now);
    return Append(data, frames);
  }

  // Both mode: once everything that had arrived is taken, tells ClockDrift how much it was.
  void ReportToDrift(int64_t now) {
    if (!core_.isBoth() || (takenThisPoll_ == 0 && !restarted_)) return;
    core_.drift.OnSystemSound(now, std::exchange(takenThisPoll_, 0), std::exchange(restarted_, false));
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
    if (frames <= 0) return 0;
    const uint8_t* in = chunk_.data();
    const int n = swr_convert(resampler_.get(), converted_.planes, converted_.capacity, &in, frames);
    std::fill(chunk_.begin(), chunk_.end(), 0);
    fill_ = 0;
    return Queue(n);
  }

  int DrainResampler() {
    return Queue(swr_convert(resampler_.get(), converted_.planes, converted_.capacity, nullptr, 0));
  }

  int Queue(int converted) {
    if (converted < 0) {
      LOG(ERROR) << "swr_convert  error";
      return -1;
    }
    if (converted > 0) core_.speakerFifo.WriteOrDrop(reinterpret_cast<void* const*>(converted_.planes), converted);
    return 0;
  }

  RecorderCore& core_;
  SpeakerInput& input_;
  const AVSampleFormat outputFormat_;
  CaptureFormat format_;
  SwrPtr resampler_;
  SampleBuffer converted_;
  std::vector<uint8_t> chunk_;
  size_t fill_ = 0;
  int frameBytes_ = 8;
  RealTimeGate gate_{kOutputSampleRate, kInactiveAfterMs};
  LevelMeter meter_;
  bool wasRunning_ = false;
  int64_t takenThisPoll_ = 0;  // output samples since the last report to ClockDrift
  bool restarted_ = false;     // system sound started flowing again in this poll
};

}  // namespace

int RunSpeakerThread(RecorderCore& core) {
  const int result = RunGuarded("zav-speaker", [&core] {
    std::unique_ptr<SpeakerInput> input = core.backend->CreateSpeaker();
    if (!input) return -1;
    SpeakerLoop loop(core, *input);
    return loop.Open() == 0 ? loop.Run() : -1;
  });
  if (result != 0) {
    // No more system sound will come: the encoder mixes silence instead of waiting for it.
    core.speakerActive = false;
    core.speakerFifo.WakeAll();
    ReportCaptureFault(core, RecorderFault::kSystemSoundFailed);
  }
  return result;
}

}  // namespace zav
