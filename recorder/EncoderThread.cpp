// The encoder thread: one frame of the encoder's frame size per pass, as the recording clock
// allows (Timeline.h): taken from the microphone FIFO, the system-sound FIFO, both through the
// mixing graph, or made of silence; encoded and written; whole seconds posted to the owner.

#include <glog/logging.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "RecorderCore.h"
#include "ThreadGuard.h"
#include "Trace.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace zav {
namespace {

constexpr int kIdleWakeMs = 100;  // how often a held clock is looked at (Start also wakes)
// Frames that only wait for the clock are written a few at a time: waking for each (every
// 23-26 ms) cost more than encoding them, and an encoder woken cold costs more per frame than
// one kept busy (a 500 ms batch took a fifth off the mp3 encoder thread against 80 ms). The
// file lags the clock by this much more at most; once a second a batch ends early, where the
// file's next whole second can be complete (BatchWake), so that the time shown turns on time.
constexpr int kBatchMs = 500;
// While a source is silent past its patience (a frozen server, an idle sink), its time is
// filled with silence as it passes, and a backlog the source hands over later keeps only what
// falls after what the file holds by then. So those frames are not held back for a long batch:
// a late backlog would otherwise fill up to a batch of that silent time.
constexpr int kQuietBatchMs = 80;

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

void Silence(AVFrame* frame, int from) {
  if (from >= frame->nb_samples) return;
  av_samples_set_silence(frame->extended_data, from, frame->nb_samples - from,
                         frame->ch_layout.nb_channels, static_cast<AVSampleFormat>(frame->format));
}

int64_t SamplesOfMs(int64_t ms) { return ms * kOutputSampleRate / 1000; }

// Where the frames handed to the encoder will have completed the file's next whole second.
struct SecondMark {
  int64_t second = -1;
  int64_t position = 0;
  bool moved = false;  // set again once, after the encoder held more than first thought
};

// When to wake for frames that only wait for the clock, the first of them due at `due`: a
// batch later, or once the frame is due that completes the file's next whole second. The
// file's packets end behind the frames handed to the encoder by what the encoder holds (LAME
// and AAC keep several frames; nothing is known of it before the first packet), so the mark is
// what the encoder holds past the second, looked at again once if the second is still held
// when the mark is reached; after that the second comes with the next batch.
int64_t BatchWake(const RecorderCore& core, int64_t due, int frameSize, SecondMark& mark) {
  const int64_t next = core.output.writtenSeconds() + 1;
  const auto place = [&] {
    const int64_t held = std::max<int64_t>(0, core.produced - core.output.writtenSamples());
    mark.position = next * kOutputSampleRate + held + frameSize;
  };
  if (mark.second != next) {
    mark = {next, 0, false};
    place();
  } else if (core.produced >= mark.position && !mark.moved) {
    mark.moved = true;
    place();
  }
  if (core.produced >= mark.position) return due + kBatchMs;
  const int64_t frames = (mark.position - core.produced + frameSize - 1) / frameSize;
  const int64_t secondDue = core.clock.TimeOf(core.produced + frames * frameSize);
  return secondDue < 0 ? due + kBatchMs : std::clamp(secondDue, due, due + kBatchMs);
}

// Makes frames of the recording, in order, from what the sources delivered: the encoder
// thread's passes and, after Stop, the drain.
class FrameWriter {
 public:
  explicit FrameWriter(RecorderCore& core)
      : core_(core),
        choice_(core.output.choice()),
        mic_(MakeFrame(choice_, true)),
        speaker_(MakeFrame(choice_, true)),
        mixed_(MakeFrame(choice_, false)) {
    if (core.recordsMicrophone()) {
      fifos_.push_back(&core.micFifo);
      tracks_.push_back({0, SamplesOfMs(core.microphonePatienceMs), false});
    }
    if (core.recordsSystemSound()) {
      fifos_.push_back(&core.speakerFifo);
      tracks_.push_back({0, SamplesOfMs(kSpeakerPatienceMs), false});
    }
  }

  bool ready() const { return mic_ && speaker_ && mixed_; }
  bool anyQuiet() const {
    return std::any_of(tracks_.begin(), tracks_.end(), [](const TrackView& t) { return t.quiet; });
  }

  // Whether the next frame can be written with the clock at `clock`.
  FrameDecision Next(int64_t clock) {
    for (size_t i = 0; i < fifos_.size(); ++i) tracks_[i].end = fifos_[i]->end();
    return NextFrame(core_.produced, choice_.frameSize, clock, tracks_);
  }

  // Makes, encodes and writes the next `samples` of the recording (at most a frame). Negative:
  // the thread must end.
  int Write(int samples) {
    AVFrame* out = nullptr;
    if (fifos_.empty()) {
      out = Prepare(speaker_.get(), samples);
      if (!out) return -1;
      Silence(out, 0);
    } else if (fifos_.size() == 1) {
      out = Fill(fifos_[0] == &core_.micFifo ? mic_.get() : speaker_.get(), *fifos_[0], samples);
      if (!out) return -1;
    } else {
      // The graph hands out whole frames only: a shorter last frame is mixed whole, with
      // silence after its end, and cut afterwards.
      AVFrame* mic = Fill(mic_.get(), core_.micFifo, samples, choice_.frameSize);
      AVFrame* speaker = Fill(speaker_.get(), core_.speakerFifo, samples, choice_.frameSize);
      if (!mic || !speaker) return -1;
      core_.produced += samples;
      return MixAndEncode(mic, speaker, samples);
    }
    core_.produced += samples;
    return Encode(out);
  }

 private:
  // Makes the frame's buffer ours again (the encoder may still reference the last one) with
  // room for `samples`.
  static AVFrame* Prepare(AVFrame* frame, int samples) {
    frame->nb_samples = samples;
    return av_frame_make_writable(frame) >= 0 ? frame : nullptr;
  }

  // The source's next `samples` in a frame of `frameSamples` (at least as many), silence where
  // it delivered nothing.
  static AVFrame* Fill(AVFrame* frame, SampleFifo& fifo, int samples, int frameSamples = 0) {
    if (!Prepare(frame, std::max(samples, frameSamples))) return nullptr;
    Silence(frame, fifo.Take(reinterpret_cast<void* const*>(frame->extended_data), samples));
    return frame;
  }

  int MixAndEncode(AVFrame* mic, AVFrame* speaker, int samples) {
    int code = 0;
    switch (core_.graph.Mix(mic, speaker, mixed_.get(), &code)) {
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
    mixed_->nb_samples = std::min(mixed_->nb_samples, samples);
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
  FramePtr mic_;
  FramePtr speaker_;
  FramePtr mixed_;
  std::vector<SampleFifo*> fifos_;
  std::vector<TrackView> tracks_;
};

int RunEncoderLoop(RecorderCore& core) {
  FrameWriter writer(core);
  if (!writer.ready()) return -1;
  const int frameSize = core.output.choice().frameSize;
  SecondMark mark;
  // When the wait this pass woke from was to end; a pass after a write asks for nothing (a
  // slow write is no stall of the machine).
  constexpr int64_t kAfterWrite = std::numeric_limits<int64_t>::max();
  int64_t asked = kAfterWrite;
  while (!core.encoderStop) {
    const WakeSignal::Seen seen = core.encoderWake.Look();
    const int64_t now = SteadyNowMs();
    if (asked != kAfterWrite && WokeAfterStall(asked, now)) core.NoteStall(now);
    if (const int64_t until = core.stallCatchUpUntilMs; now < until) {
      asked = until;
      core.encoderWake.WaitUntil(until, seen, false);
      continue;
    }
    const FrameDecision decision = writer.Next(core.clock.PositionAt(now));
    if (decision.write) {
      if (writer.Write(frameSize) < 0) return -1;
      asked = kAfterWrite;
      continue;
    }
    const int64_t due = decision.wakeAt > 0 ? core.clock.TimeOf(decision.wakeAt) : -1;
    const int64_t wakeAt = due < 0                ? now + kIdleWakeMs
                           : decision.forAudio ? std::max(due, now + 1)
                           : writer.anyQuiet()  ? std::max(due, now + 1) + kQuietBatchMs
                                                : BatchWake(core, std::max(due, now + 1), frameSize, mark);
    asked = wakeAt;
    core.encoderWake.WaitUntil(wakeAt, seen, decision.forAudio);
  }
  Trace("audio encode thread exit\n");
  return 0;
}

}  // namespace

void ReportProgress(RecorderCore& core) {
  const int64_t seconds = core.output.writtenSeconds();
  if (seconds != core.lastReportedSeconds) {
    core.lastReportedSeconds = seconds;
    core.Post(WM_RECORD_SECONDS, static_cast<intptr_t>(seconds));
  }
  // The file never runs ahead of the time recorded; should it, the recording is not trusted.
  const int64_t ahead = core.output.writtenSamples() - core.ClockNow();
  if (ahead > SamplesOfMs(kAheadOfClockFaultMs) && !core.aheadOfClock.exchange(true)) {
    LOG(ERROR) << "the file runs " << ahead * 1000 / kOutputSampleRate
               << " ms ahead of the time recorded; the recording is not trusted";
    core.Post(kWmRecordFault, static_cast<intptr_t>(RecordingFault::kAheadOfClock));
  }
  if (core.output.writeFailed() && !core.faultReported.exchange(true)) {
    core.Post(kWmRecordFault, static_cast<intptr_t>(RecordingFault::kWriteFailed));
  }
  if (core.output.fileGone() && !core.goneReported.exchange(true)) {
    core.Post(kWmRecordFault, static_cast<intptr_t>(RecordingFault::kFileGone));
  }
  if ((core.encoderFailed || core.output.encodeFailed()) && !core.encoderFailReported.exchange(true)) {
    core.Post(kWmRecordFault, static_cast<intptr_t>(RecordingFault::kEncodeFailed));
  }
}

int RunEncoderThread(RecorderCore& core) {
  const int result = RunGuarded("zav-encoder", [&core] { return RunEncoderLoop(core); });
  if (result < 0) {
    // Nothing more is recorded: said to the owner, and in the finished file's report.
    LOG(ERROR) << "the encoder thread ended on an error; the recording stops growing";
    core.encoderFailed = true;
    ReportProgress(core);
  }
  return result;
}

void DrainFifos(RecorderCore& core) {
  if (!core.output.codec() || core.encoderFailed || core.output.encodeFailed() || core.output.writeFailed()) return;
  FrameWriter writer(core);
  if (!writer.ready()) return;
  const int frameSize = core.output.choice().frameSize;
  // The clock was held at Stop: the file ends there.
  const int64_t end = core.ClockNow();
  while (core.produced < end) {
    const int n = static_cast<int>(std::min<int64_t>(frameSize, end - core.produced));
    if (writer.Write(n) < 0 || core.output.writeFailed()) return;
  }
}

}  // namespace zav
