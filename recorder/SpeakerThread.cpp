// The speaker thread: polls the system-sound input every few tens of milliseconds, gathers
// the packets that arrived meanwhile, converts them to the output format and places them in
// the system-sound FIFO where the recording clock says they were heard. With echo cancellation
// it also places them, as 32 kHz mono, in the echo canceller's reference; when only the
// microphone is recorded, that is all it does with them.
//
// "No packets" is what an idle or suspended sink, a monitor not yet flowing or a device being
// switched look like: the thread queues nothing then, and the encoder fills the time with
// silence once it has waited long enough. The input may change its format (another default
// sink, a restarted sound server): what was gathered so far is converted in the old format,
// then the converter is set up for the new one.

#include <glog/logging.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "EchoStage.h"
#include "LevelMeter.h"
#include "RecorderCore.h"
#include "Resampler.h"
#include "ThreadGuard.h"
#include "Trace.h"

namespace zav {
namespace {

constexpr int kBytesPerSample = 4;  // signed 32-bit
// Each pass takes every pending packet. Waking every 10 ms made this thread cost nearly as
// much CPU as encoding; the encoder waits for system sound up to a second anyway.
constexpr int kPollMs = 50;
// Polls without packets after which the meter shows silence.
constexpr int kQuietAfterPolls = 2;
// The most gathered in one poll: a server that hands over a longer backlog at once (it was
// frozen) keeps only its newest audio, as the FIFO could not hold more.
constexpr int kMaxGatherMs = 3000;
// A hole in the stream (no data for a span) counts as silence for at most the time since the
// last poll and this slack: a hole is never longer than the time that passed.
constexpr int kHoleSlackMs = 20;

class SpeakerLoop {
 public:
  SpeakerLoop(RecorderCore& core, SpeakerInput& input)
      : core_(core),
        input_(input),
        outputFormat_(core.output.choice().sampleFormat),
        records_(core.recordsSystemSound()),
        reference_(core.echoReference.get()) {}

  int Open() { return SetUp(input_.Format()); }

  int Run() {
    int quietPolls = 0;  // polls in a row without packets
    lastPollMs_ = SteadyNowMs();
    while (!core_.stopRequested) {
      const bool running = core_.running;
      const int64_t now = SteadyNowMs();
      if (running != wasRunning_) {
        // Start and Pause wake this thread at once: audio heard before Start is dropped,
        // audio heard before Pause is kept.
        wasRunning_ = running;
        if (running) {
          if (DropPending() < 0) return -1;
          meter_.Reset(format_.sampleRate, format_.channels);
          quietPolls = 0;
        } else if (TakePending(now) < 0 || Deliver(now) < 0) {
          return -1;
        }
        lastPollMs_ = now;
        continue;
      }
      if (!running) {
        if (DropPending() < 0) return -1;
        core_.WaitForRunChange(now + kPollMs, false, core_.stopRequested);
        continue;
      }
      const size_t had = gatheredFrames();
      if (TakePending(now) < 0) return -1;
      core_.systemSoundAway = !input_.Present();
      const bool heard = gatheredFrames() > 0;
      // (A change of format on the way placed what was gathered before it.)
      const size_t brought = gatheredFrames() >= had ? gatheredFrames() - had : gatheredFrames();
      const int64_t broughtMs = static_cast<int64_t>(brought) * 1000 / format_.sampleRate;
      if (stallHold_.Hold(lastPollMs_ + kPollMs, now, broughtMs, kPollMs)) {
        core_.NoteStall(now);
      } else {
        if (Deliver(now) < 0) return -1;
        lastPollMs_ = now;
      }
      if (heard) {
        quietPolls = 0;
      } else if (++quietPolls >= kQuietAfterPolls && records_ && core_.measuresLevels()) {
        core_.PublishLevel(LevelSource::kSystemSound, SourceLevel{true}, now);
      }
      core_.WaitForRunChange(now + kPollMs, true, core_.stopRequested);
    }
    // What was heard until Stop belongs to the recording.
    if (wasRunning_) {
      const int64_t now = SteadyNowMs();
      if (TakePending(now) < 0 || Deliver(now) < 0) return -1;
    }
    Trace("speaker audio capture thread exit\n");
    return 0;
  }

 private:
  // The converter for packets in `format`. 0, or -1 after logging.
  int SetUp(const CaptureFormat& format) {
    if (format.channels <= 0 || format.sampleRate <= 0) {
      LOG(ERROR) << "Unsupported Audio Format";
      return -1;
    }
    format_ = format;
    const AudioSpec in{format.sampleRate, format.channels, AV_SAMPLE_FMT_S32};
    if (records_) {
      resampler_ = MakeResampler(in, {kOutputSampleRate, kOutputChannels, outputFormat_},
                                 "Could not allocate resampler context", "swr_init error");
      if (!resampler_) return -1;
    }
    if (reference_) {
      toReference_ = MakeResampler(in, {kProcessingRate, 1, AV_SAMPLE_FMT_S16}, "Could not allocate resampler context",
                                   "swr_init error");
      // The microphone is then recorded without echo cancellation, system sound as before.
      if (!toReference_) reference_ = nullptr;
    }
    frameBytes_ = format.channels * kBytesPerSample;
    maxGatherFrames_ = static_cast<size_t>(format.sampleRate) * kMaxGatherMs / 1000;
    meter_.Reset(format.sampleRate, format.channels);
    gathered_.clear();
    return 0;
  }

  size_t gatheredFrames() const { return gathered_.size() / frameBytes_; }

  // Frames of the next pending packet, after following a change of the input's format.
  int NextPacket(int64_t now) {
    const int pending = input_.NextPacketFrames();
    if (pending < 0) {
      LOG(ERROR) << "AudioCaptureClient GetNextPacketSize error";
      return -1;
    }
    const CaptureFormat current = input_.Format();
    if (current == format_) return pending;
    // Everything gathered so far is in the old format: it goes with the old converter, with
    // what the converter still holds.
    if (Deliver(now) < 0 ||
        (records_ && Queue(swr_convert(resampler_.get(), converted_.planes, converted_.capacity, nullptr, 0)) < 0))
      return -1;
    LOG(INFO) << "system sound format: " << current.sampleRate << " Hz, " << current.channels << " channels";
    return SetUp(current) < 0 ? -1 : pending;
  }

  int Discard() {
    const void* data = nullptr;
    int frames = 0;
    if (input_.GetBuffer(&data, &frames) < 0) return -1;
    return input_.ReleaseBuffer();
  }

  int DropPending() {
    for (int pending = NextPacket(SteadyNowMs()); pending != 0; pending = NextPacket(SteadyNowMs())) {
      if (pending < 0 || Discard() < 0) return -1;
    }
    gathered_.clear();
    return 0;
  }

  // Gathers every pending packet, which arrived by now.
  int TakePending(int64_t now) {
    for (int pending = NextPacket(now); pending != 0; pending = NextPacket(now)) {
      if (pending < 0 || TakePacket(now) < 0) return -1;
    }
    return 0;
  }

  int TakePacket(int64_t now) {
    const void* data = nullptr;
    int frames = 0;
    if (input_.GetBuffer(&data, &frames) < 0) {
      LOG(ERROR) << "AudioCaptureClient GetBuffer  error";
      return -1;
    }
    if (frames > 0) {
      if (!data) {
        // A hole: the server has nothing for that span. It is silence, but never longer than
        // the time that passed (a server's hole can span its whole uptime).
        const int64_t most = (now - lastPollMs_ + kHoleSlackMs) * format_.sampleRate / 1000;
        frames = static_cast<int>(std::clamp<int64_t>(most, 0, frames));
      }
      Gather(static_cast<const uint8_t*>(data), frames);
      // System sound is measured as it arrives.
      if (records_ && core_.measuresLevels() && meter_.Add(data, frames, AV_SAMPLE_FMT_S32))
        core_.PublishLevel(LevelSource::kSystemSound, meter_.level(), now);
    }
    if (input_.ReleaseBuffer() < 0) {
      LOG(ERROR) << "AudioCaptureClient ReleaseBuffer  error";
      return -1;
    }
    return 0;
  }

  // Appends a packet (nullptr data: silence), keeping at most the newest kMaxGatherMs.
  void Gather(const uint8_t* data, int frames) {
    const size_t bytes = static_cast<size_t>(frames) * frameBytes_;
    const size_t start = gathered_.size();
    gathered_.resize(start + bytes);
    if (data) {
      std::memcpy(gathered_.data() + start, data, bytes);
    } else {
      std::memset(gathered_.data() + start, 0, bytes);
    }
    const size_t most = maxGatherFrames_ * frameBytes_;
    if (gathered_.size() > most) gathered_.erase(gathered_.begin(), gathered_.end() - static_cast<ptrdiff_t>(most));
  }

  // Places what was gathered, which arrived by now, on the clock; converts and queues the part
  // that is not late.
  int Deliver(int64_t now) {
    const int frames = static_cast<int>(gatheredFrames());
    if (frames == 0) return 0;
    if (reference_) PlaceReference(now, frames);
    if (!records_) {
      gathered_.clear();
      return 0;
    }
    const int64_t samples = av_rescale(frames, kOutputSampleRate, format_.sampleRate);
    const int64_t tolerance = int64_t{kPlacementToleranceMs} * kOutputSampleRate / 1000;
    const int64_t dropped = core_.speakerFifo.PlaceArrival(core_.clock.PositionAt(now), samples, tolerance);
    const int cut = static_cast<int>(std::min<int64_t>(av_rescale(dropped, format_.sampleRate, kOutputSampleRate), frames));
    int result = 0;
    if (cut < frames) {
      const int64_t delay = swr_get_delay(resampler_.get(), format_.sampleRate);
      const int outFrames = static_cast<int>(
          av_rescale_rnd(delay + frames - cut, kOutputSampleRate, format_.sampleRate, AV_ROUND_UP));
      if (converted_.Reserve(outFrames, kOutputChannels, outputFormat_) < 0) {
        LOG(ERROR) << "av_frame_get_buffer error";
        return -1;
      }
      const uint8_t* in = gathered_.data() + static_cast<size_t>(cut) * frameBytes_;
      result = Queue(swr_convert(resampler_.get(), converted_.planes, converted_.capacity, &in, frames - cut));
    }
    gathered_.clear();
    return result;
  }

  // Places what was gathered, as 32 kHz mono, in the echo canceller's reference, where the
  // clock says it was heard.
  void PlaceReference(int64_t now, int frames) {
    const int capacity = swr_get_out_samples(toReference_.get(), frames);
    if (capacity < 0) return;
    referenceSamples_.resize(static_cast<size_t>(capacity));
    uint8_t* out = reinterpret_cast<uint8_t*>(referenceSamples_.data());
    const uint8_t* in = gathered_.data();
    const int converted = swr_convert(toReference_.get(), &out, capacity, &in, frames);
    if (converted <= 0) {
      LOG_IF(ERROR, converted < 0) << "system sound could not be converted for the echo canceller";
      return;
    }
    const int64_t tolerance = int64_t{kPlacementToleranceMs} * kProcessingRate / 1000;
    reference_->Place(ReferencePosition(static_cast<double>(core_.clock.PositionAt(now))), referenceSamples_.data(),
                      converted, tolerance);
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
  const bool records_;           // system sound is recorded (not only the echo canceller's reference)
  ReferenceBuffer* reference_;   // the echo canceller's reference, or nullptr
  CaptureFormat format_;
  SwrPtr resampler_;             // to the output format (when recorded)
  SwrPtr toReference_;           // to the reference's 32 kHz mono
  std::vector<int16_t> referenceSamples_;
  SampleBuffer converted_;
  std::vector<uint8_t> gathered_;  // packets of this poll, in the input's format
  size_t maxGatherFrames_ = 0;
  int frameBytes_ = 8;
  LevelMeter meter_;
  bool wasRunning_ = false;
  int64_t lastPollMs_ = 0;  // when what was gathered was last placed
  StallHold stallHold_;     // whether what was gathered waits for the next poll
};

}  // namespace

int RunSpeakerThread(RecorderCore& core) {
  const int result = RunGuarded("zav-speaker", [&core] {
    if (!core.speaker) return -1;
    SpeakerLoop loop(core, *core.speaker);
    return loop.Open() == 0 ? loop.Run() : -1;
  });
  core.speaker.reset();  // its readers leave the sinks now, not when the file is finished
  // No more system sound will come: the encoder fills its time with silence, the echo canceller
  // goes on without its reference.
  if (result != 0 && core.recordsSystemSound()) ReportCaptureFault(core, RecordingFault::kSystemSoundFailed);
  if (result != 0 && !core.recordsSystemSound())
    LOG(WARNING) << "system sound could not be captured: the microphone's echo is not cancelled";
  return result;
}

}  // namespace zav
