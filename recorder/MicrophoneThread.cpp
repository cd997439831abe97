// The microphone thread: wakes every 50 ms and takes what the microphone delivered meanwhile,
// optionally cleans it (echo cancellation, noise suppression, gain control at 32 kHz mono),
// converts it to the output format and queues it in the microphone FIFO. Idle and paused
// audio is dropped, so that recording resumes with current sound; Start, Pause and Stop cut
// the audio at their moment, as the speaker thread does, so that the two sources stay together.
//
// The microphone's audio is placed on the recording clock by the time it arrived: time without
// audio (a vanished microphone, a sound server that is frozen or restarting) is left to the
// encoder, which fills it with silence, while the microphone is looked for again; a failure of
// the path itself leaves silence in its place for the rest of the recording. A microphone on a
// clock of its own is stretched or shrunk slightly to stay on the recording's (ClockDrift).
//
// With echo cancellation the audio waits in the echo stage (EchoStage) until the system sound
// of its moment has arrived; the stage keeps the microphone's place on the clock meanwhile.

#include <glog/logging.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "ClockDrift.h"
#include "EchoStage.h"
#include "LevelMeter.h"
#include "RecorderCore.h"
#include "Resampler.h"
#include "ThreadGuard.h"
#include "Trace.h"
#include "VoiceProcessor.h"

namespace zav {
namespace {

constexpr int kPollMs = 50;
constexpr int kReopenEveryMs = 1000;  // how often a vanished microphone is looked for
// Room for what a stretch still pending from the previous piece adds.
constexpr int kStretchMarginSamples = 32;

const AudioSpec kProcessingSpec{kProcessingRate, 1, AV_SAMPLE_FMT_S16};

AudioSpec SpecOf(const CaptureFormat& format) {
  return {format.sampleRate, format.channels, static_cast<AVSampleFormat>(format.sampleFormat)};
}

class MicrophoneLoop {
 public:
  explicit MicrophoneLoop(RecorderCore& core)
      : core_(core),
        input_(*core.microphone),
        processing_(core.processesVoice()),
        outputFormat_(core.output.choice().sampleFormat) {
    if (core.echoCancellation && core.echoReference) {
      echo_ = std::make_unique<EchoStage>(*core.echoReference,
                                          int64_t{kEchoReferencePatienceMs} * kOutputSampleRate / 1000);
    }
  }

  // Captures until Stop. -1 when the path failed (logged); the caller then waits for Stop.
  int Run() {
    if (processing_) {
      processor_ = std::make_unique<VoiceProcessor>();
      if (processor_->Create(core_.noiseSuppression, core_.gainControl, core_.settings.boost, echo_ != nullptr) != 0)
        return -1;
    }
    if (SetUp() != 0) return -1;
    int64_t poll = SteadyNowMs();
    while (!core_.stopRequested) {
      poll = std::max(poll + kPollMs, SteadyNowMs());
      core_.WaitForRunChange(poll, wasRunning_, core_.stopRequested);
      if (core_.stopRequested) break;
      const int64_t now = SteadyNowMs();
      pollMs_ = poll;
      const bool running = core_.running;
      if (running != wasRunning_) {
        // Start and Pause wake this thread at once: audio heard before Start is dropped,
        // audio heard before Pause is kept.
        poll = now;
        wasRunning_ = running;
        if (!running) {
          if (TakeAudio(now) < 0 || ReleaseEcho(core_.clock.PositionAt(now), true) < 0) return -1;
          continue;
        }
        input_.Flush();
        meter_.Reset(meterRate_, meterChannels_);
        continue;
      }
      if (!running) {
        input_.Flush();
        continue;
      }
      const size_t had = gathered_.size();
      if (Gather(now) < 0) return -1;
      const int64_t broughtMs =
          static_cast<int64_t>((gathered_.size() - had) / frameBytes_) * 1000 / device_.sampleRate;
      // A microphone that went away may come back in another format: what it delivered
      // before goes now.
      if (!gone_ && stallHold_.Hold(pollMs_, now, broughtMs, kPollMs)) {
        core_.NoteStall(now);
        poll = now;
      } else if (Place(now) < 0) {
        return -1;
      }
      if (gone_ && LookForMicrophone(now) < 0) return -1;
      // A vanished microphone leaves its meter empty until it is back.
      if (gone_ && core_.measuresLevels()) core_.PublishLevel(LevelSource::kMicrophone, SourceLevel{}, poll);
    }
    // What was heard until Stop belongs to the recording.
    if (wasRunning_) {
      const int64_t now = SteadyNowMs();
      if (TakeAudio(now) < 0 || ReleaseEcho(core_.clock.PositionAt(now), true) < 0) return -1;
    }
    if (echo_) LOG(INFO) << processor_->EchoSummary();
    Trace("micophone audio capture thread exit\n");
    return 0;
  }

  // After a failure of the path: silence stands in for the microphone (the encoder fills it);
  // its meter stays empty until Stop.
  void WaitForStop() {
    int64_t poll = SteadyNowMs();
    while (!core_.stopRequested) {
      poll = std::max(poll + kPollMs, SteadyNowMs());
      core_.WaitForRunChange(poll, wasRunning_, core_.stopRequested);
      wasRunning_ = core_.running;
      if (core_.measuresLevels()) core_.PublishLevel(LevelSource::kMicrophone, SourceLevel{}, poll);
    }
  }

 private:
  // Prepares for the device's format: the converter to 32 kHz mono (processing), the one to
  // the output format. 0, or -1 after logging.
  int SetUp() {
    device_ = input_.Format();
    const AudioSpec device = SpecOf(device_);
    frameBytes_ = device_.channels * av_get_bytes_per_sample(device.sampleFormat);
    to32k_.reset();
    if (processing_ && !(device == kProcessingSpec)) {
      to32k_ = MakeResampler(device, kProcessingSpec, "swr alloc error", "swr init error");
      if (!to32k_) return -1;
    }
    if (frameBytes_ <= 0 || device_.sampleRate <= 0) {
      LOG(ERROR) << "the microphone delivers a format that cannot be read";
      return -1;
    }
    // The meter sees what is recorded: the processed signal when processing is on.
    meterRate_ = processing_ ? kProcessingRate : device_.sampleRate;
    meterChannels_ = processing_ ? 1 : device_.channels;
    meter_.Reset(meterRate_, meterChannels_);
    return 0;
  }

  // Takes everything that has arrived by now and places it on the clock, with what polls
  // after a stall held. -1 when the path failed.
  int TakeAudio(int64_t now) { return Gather(now) < 0 ? -1 : Place(now); }

  // Adds everything that has arrived by now to what was gathered.
  int Gather(int64_t now) {
    for (;;) {
      const void* data = nullptr;
      int frames = 0;
      const MicrophoneInput::ReadResult read = input_.Read(&data, &frames);
      if (read == MicrophoneInput::kNone) break;
      if (read == MicrophoneInput::kGone) {
        if (!gone_) {
          LOG(ERROR) << "read audio packet err";
          SetGone(true);
          lastReopenMs_ = now;
        }
        break;
      }
      SetGone(false);
      const auto* bytes = static_cast<const uint8_t*>(data);
      gathered_.insert(gathered_.end(), bytes, bytes + static_cast<size_t>(frames) * frameBytes_);
      input_.Release();
    }
    return 0;
  }

  // Places what was gathered; -1 when the path failed.
  int Place(int64_t now) {
    const int result = Deliver(now);
    gathered_.clear();
    return result;
  }

  // Places the audio gathered in a poll where the clock stood when it arrived, queues the part
  // that is not late, and keeps the microphone's clock on the recording's.
  int Deliver(int64_t now) {
    const int frames = static_cast<int>(gathered_.size() / frameBytes_);
    const int64_t clock = core_.clock.PositionAt(now);
    if (echo_) return DeliverToEcho(frames, clock);
    SampleFifo& fifo = core_.micFifo;
    bool realigned = fifo.end() != expectedEnd_;
    int result = 0;
    if (frames > 0) {
      const int64_t before = fifo.end();
      const int64_t tolerance = int64_t{kPlacementToleranceMs} * kOutputSampleRate / 1000;
      const int64_t dropped =
          fifo.PlaceArrival(clock, av_rescale(frames, kOutputSampleRate, device_.sampleRate), tolerance);
      realigned = realigned || dropped > 0 || fifo.end() != before;
      const int cut =
          static_cast<int>(std::min<int64_t>(av_rescale(dropped, device_.sampleRate, kOutputSampleRate), frames));
      if (cut < frames) result = Queue(gathered_.data() + static_cast<size_t>(cut) * frameBytes_, frames - cut);
    }
    expectedEnd_ = fifo.end();
    correction_ = drift_.Update(clock, expectedEnd_, frames > 0, realigned);
    return result;
  }

  // Deliver with echo cancellation: the audio is placed where the echo stage says the
  // microphone's audio ends (part of it still waits there for its reference), and joins what
  // waits; what is ready is processed and queued.
  int DeliverToEcho(int frames, int64_t clock) {
    SampleFifo& fifo = core_.micFifo;
    bool realigned = false;
    bool releaseAll = false;
    if (frames > 0) {
      const int64_t count = av_rescale(frames, kOutputSampleRate, device_.sampleRate);
      const int64_t tolerance = int64_t{kPlacementToleranceMs} * kOutputSampleRate / 1000;
      // The encoder filled silence past the microphone's audio: what still waits is late.
      const bool late = fifo.end() != expectedEnd_;
      const Placement placement = PlaceArrival(echo_->end(), clock, count, tolerance);
      int cut = 0;
      if (!echo_->anchored() || late || placement.silence > 0 || placement.drop > 0) {
        // The piece does not follow on: what waits goes now (unless late), then the piece is
        // placed afresh.
        if (!late && ReleaseEcho(clock, true) < 0) return -1;
        const int64_t dropped = fifo.PlaceArrival(clock, count, tolerance);
        cut = static_cast<int>(std::min<int64_t>(av_rescale(dropped, device_.sampleRate, kOutputSampleRate), frames));
        echo_->Anchor(fifo.end());
        realigned = true;
        // An encoder that went on without the microphone does not wait for it until it
        // delivers again: this piece goes at once, and from the next poll on the audio waits
        // for its reference again, as the encoder then waits for it.
        releaseAll = late;
      }
      if (cut < frames) {
        const int16_t* mono = nullptr;
        int count32k = 0;
        if (ToProcessingRate(gathered_.data() + static_cast<size_t>(cut) * frameBytes_, frames - cut, &mono,
                             &count32k) < 0)
          return -1;
        echo_->Append(mono, count32k);
      }
    }
    if (ReleaseEcho(clock, releaseAll) < 0) return -1;
    expectedEnd_ = fifo.end();
    correction_ = drift_.Update(clock, echo_->end(), frames > 0, realigned);
    return 0;
  }

  // Processes what waits in the echo stage and is ready (everything when `all`), and queues
  // it. -1 when the path failed.
  int ReleaseEcho(int64_t clock, bool all) {
    if (!echo_) return 0;
    processed_.clear();
    const bool ok = echo_->Release(clock, correction_, all,
                                   [this](int16_t* block, const int16_t* farEnd) {
                                     return processor_->ProcessBlock(block, farEnd);
                                   },
                                   &processed_);
    if (!ok) {
      LOG_IF(ERROR, !core_.microphoneFaultReported) << "failed in WebRtcAgc_Process";
      ReportCaptureFault(core_, RecordingFault::kMicrophoneFailed);
    }
    return QueueProcessed();
  }

  void SetGone(bool gone) {
    gone_ = gone;
    core_.microphoneAway = gone;
  }

  // A vanished microphone is looked for about once a second. -1 when it came back in a
  // format the path cannot take.
  int LookForMicrophone(int64_t now) {
    if (now - lastReopenMs_ < kReopenEveryMs) return 0;
    lastReopenMs_ = now;
    if (input_.Reopen() != 0) return 0;
    SetGone(false);
    if (input_.Format() == device_) return 0;
    LOG(INFO) << "the microphone came back in another format";
    if (SetUp() != 0) return -1;
    if (!processing_) {
      core_.micToOutput = MakeMicrophoneConverter(core_, device_);
      if (!core_.micToOutput) return -1;
    }
    return 0;
  }

  // Processes (when on) and converts one piece of audio, and queues it. -1 when the path failed.
  int Queue(const uint8_t* data, int frames) {
    if (!processing_) {
      Measure(data, frames, device_.sampleFormat);
      return Convert(data, frames, device_.sampleRate);
    }
    const int16_t* mono = nullptr;
    int count = 0;
    if (ToProcessingRate(data, frames, &mono, &count) < 0) return -1;
    processed_.clear();
    if (!processor_->Process(mono, count, &processed_)) {
      LOG_IF(ERROR, !core_.microphoneFaultReported) << "failed in WebRtcAgc_Process";
      ReportCaptureFault(core_, RecordingFault::kMicrophoneFailed);
    }
    return QueueProcessed();
  }

  // The microphone's audio as voice processing takes it (32 kHz mono 16-bit): *mono and *count
  // (valid until the next call). -1 when the conversion failed.
  int ToProcessingRate(const uint8_t* data, int frames, const int16_t** mono, int* count) {
    *mono = reinterpret_cast<const int16_t*>(data);
    *count = frames;
    if (!to32k_) return 0;
    const int capacity = swr_get_out_samples(to32k_.get(), frames);
    if (capacity < 0) {
      LOG(ERROR) << "samples alloc error";
      return -1;
    }
    buffer32k_.resize(static_cast<size_t>(capacity));
    uint8_t* out = reinterpret_cast<uint8_t*>(buffer32k_.data());
    *count = swr_convert(to32k_.get(), &out, capacity, &data, frames);
    if (*count < 0) {
      LOG(ERROR) << "Error while converting";
      return -1;
    }
    *mono = buffer32k_.data();
    return 0;
  }

  // Measures, converts and queues the processed samples. The meter sees what is recorded.
  int QueueProcessed() {
    if (processed_.empty()) return 0;
    Measure(processed_.data(), static_cast<int>(processed_.size()), AV_SAMPLE_FMT_S16);
    return Convert(reinterpret_cast<const uint8_t*>(processed_.data()), static_cast<int>(processed_.size()),
                   kProcessingRate);
  }

  int Convert(const uint8_t* source, int count, int sourceRate) {
    SwrContext* swr = core_.micToOutput.get();
    const int expected = static_cast<int>(av_rescale(count, kOutputSampleRate, sourceRate));
    const int stretch = Stretch(swr, expected);
    const int capacity = swr_get_out_samples(swr, count) + std::abs(stretch) + kStretchMarginSamples;
    if (capacity <= kStretchMarginSamples) {
      LOG(ERROR) << "av_rescale_rnd error";
      return -1;
    }
    if (output_.Reserve(capacity, kOutputChannels, outputFormat_) < 0) {
      LOG(ERROR) << "av_samples_alloc_array_and_samples error";
      return -1;
    }
    const int converted = swr_convert(swr, output_.planes, capacity, &source, count);
    if (converted < 0) {
      LOG(ERROR) << "Error while converting";
      return -1;
    }
    if (converted > 0) core_.micFifo.WriteWaiting(reinterpret_cast<void* const*>(output_.planes), converted, core_.stopRequested);
    return 0;
  }

  // Asks the converter to add (or remove) the samples that the clock correction owes over the
  // next `expected` output samples. Returns that count.
  int Stretch(SwrContext* swr, int expected) {
    owedStretch_ += correction_ * expected;
    const int stretch = static_cast<int>(owedStretch_);
    if (stretch == 0 || expected <= 0) return 0;
    owedStretch_ -= stretch;
    // Spread over at least as many samples as the largest correction allows: a short piece
    // must not be stretched by as much as its own length (the converter divides by what is
    // left of its step).
    const int distance = std::max(expected, static_cast<int>(std::abs(stretch) / ClockDrift::kMaxCorrection) + 1);
    if (swr_set_compensation(swr, stretch, distance) < 0) {
      LOG_FIRST_N(ERROR, 1) << "swr_set_compensation error";
      return 0;
    }
    return stretch;
  }

  void Measure(const void* data, int frames, int sampleFormat) {
    if (core_.measuresLevels() && meter_.Add(data, frames, sampleFormat))
      core_.PublishLevel(LevelSource::kMicrophone, meter_.level(), pollMs_);
  }

  RecorderCore& core_;
  MicrophoneInput& input_;
  const bool processing_;
  const AVSampleFormat outputFormat_;
  CaptureFormat device_;
  int frameBytes_ = 4;
  std::vector<uint8_t> gathered_;  // audio of this poll, in the device's format
  StallHold stallHold_;            // whether gathered_ waits for the next poll
  int64_t expectedEnd_ = 0;        // where the microphone's audio ended after the last poll
  ClockDrift drift_{kOutputSampleRate};
  LevelMeter meter_;
  int meterRate_ = kOutputSampleRate;
  int meterChannels_ = kOutputChannels;
  std::unique_ptr<VoiceProcessor> processor_;
  std::unique_ptr<EchoStage> echo_;  // with echo cancellation
  SwrPtr to32k_;
  std::vector<int16_t> buffer32k_;
  std::vector<int16_t> processed_;
  SampleBuffer output_;
  bool wasRunning_ = false;
  bool gone_ = false;
  int64_t pollMs_ = 0;       // when the poll in progress was due
  int64_t lastReopenMs_ = 0;
  double correction_ = 0;    // from ClockDrift
  double owedStretch_ = 0;   // fraction of a sample not yet added or removed
};

}  // namespace

SwrPtr MakeMicrophoneConverter(const RecorderCore& core, const CaptureFormat& device) {
  const bool processing = core.processesVoice();
  const AudioSpec output{kOutputSampleRate, kOutputChannels, ChooseEncoder(core.settings.format).sampleFormat};
  return MakeResampler(processing ? kProcessingSpec : SpecOf(device), output, "Could not allocate resampler context",
                       "Failed to initialize the resampling context");
}

int RunMicrophoneThread(RecorderCore& core) {
  return RunGuarded("zav-microphone", [&core] {
    MicrophoneLoop loop(core);
    if (loop.Run() == 0) return 0;
    ReportCaptureFault(core, RecordingFault::kMicrophoneFailed);
    loop.WaitForStop();
    return -1;
  });
}

}  // namespace zav
