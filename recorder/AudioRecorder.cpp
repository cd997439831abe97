#include "AudioRecorder.h"

#include <glog/logging.h>

#include <chrono>

#include "RecorderCore.h"
#include "Trace.h"
#include "VoiceProcessor.h"

namespace zav {
namespace {

// What the microphone is asked for: what voice processing takes, or else the output's rate
// and channels in the encoder's sample format. The server converts.
CaptureFormat WantedMicrophoneFormat(const RecorderCore& core) {
  if (core.processesVoice()) return {kProcessingRate, 1, AV_SAMPLE_FMT_S16};
  return {kOutputSampleRate, kOutputChannels, ChooseEncoder(core.settings.format).sampleFormat};
}

// Opens the microphone, its converter to the output format and its FIFO. 0 or -1.
int OpenMicrophone(RecorderCore& core) {
  core.microphone = core.backend->CreateMicrophone(core.settings.devices.microphone);
  if (!core.microphone || core.microphone->Open(WantedMicrophoneFormat(core), core.stopRequested) != 0) return -1;
  Trace("device name: %s\n", core.microphone->FriendlyName().c_str());
  Trace("audiodevice: %s\n", core.microphone->DeviceName().c_str());
  core.micToOutput = MakeMicrophoneConverter(core, core.microphone->Format());
  if (!core.micToOutput) return -1;
  const EncoderChoice choice = ChooseEncoder(core.settings.format);
  core.microphonePatienceMs =
      kMicrophonePatienceMs + core.microphone->DeliveryMs() + (core.echoCancellation ? kEchoHoldMs : 0);
  if (core.micFifo.Create(choice.sampleFormat, kOutputChannels, kOutputSampleRate * kFifoSeconds,
                          &core.encoderWake) != 0) {
    LOG(ERROR) << "Could not allocate audio fifo";
    return -1;
  }
  return 0;
}

// Opens system sound; a failure does not fail the start: the speaker thread reports it.
void OpenSystemSound(RecorderCore& core) {
  core.speaker = core.backend->CreateSystemSound(core.settings.devices.speaker, core.settings.devices.applications);
  if (core.speaker && core.speaker->Open(core.stopRequested) != 0) core.speaker.reset();
}

int OpenStep(RecorderCore& core) {
  if (core.recordsMicrophone() && core.settings.hasMicrophone && OpenMicrophone(core) != 0) return -1;
  return core.output.Open(ChooseEncoder(core.settings.format), core.settings.bitRate);
}

}  // namespace

int64_t SteadyNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void RecorderCore::WaitForRunChange(int64_t deadlineMs, bool wasRunning, const std::atomic<bool>& stop) {
  using namespace std::chrono;
  std::unique_lock lock(runMutex);
  runChanged.wait_until(lock, steady_clock::time_point(milliseconds(deadlineMs)),
                        [&] { return stop || running != wasRunning; });
}

void RecorderCore::SetRunning(bool run, std::atomic<bool>* stop) {
  {
    std::lock_guard lock(runMutex);
    const int64_t now = SteadyNowMs();
    if (run) {
      clock.Run(now);
    } else {
      clock.Hold(now);
    }
    running = run;
    if (stop) *stop = true;
  }
  runChanged.notify_all();
  encoderWake.Notify();
}

int64_t RecorderCore::ClockNow() const { return clock.PositionAt(SteadyNowMs()); }

void RecorderCore::NoteStall(int64_t nowMs) {
  const int64_t until = nowMs + kStallCatchUpMs;
  int64_t seen = stallCatchUpUntilMs;
  while (seen < until && !stallCatchUpUntilMs.compare_exchange_weak(seen, until)) {
  }
}

void RecorderCore::PublishLevel(LevelSource source, const SourceLevel& level, int64_t nowMs) {
  if (!running || stopRequested) {
    levels.SetLevel(source, level);
    return;
  }
  levels.Publish(source, level, nowMs, [this](const LevelReport& report) {
    if (owner) owner->OnLevels(report);
  });
}

void ReportCaptureFault(RecorderCore& core, RecordingFault fault) {
  std::atomic<bool>& reported =
      fault == RecordingFault::kMicrophoneFailed ? core.microphoneFaultReported : core.speakerFaultReported;
  if (reported.exchange(true)) return;
  LOG(ERROR) << (fault == RecordingFault::kMicrophoneFailed ? "the microphone failed" : "system sound failed")
             << "; silence stands in for it";
  core.Post(kWmRecordFault, static_cast<intptr_t>(fault));
}

AudioRecorder::AudioRecorder(RecorderOwner* owner, CaptureBackend* backend) : core_(std::make_unique<RecorderCore>()) {
  core_->owner = owner;
  core_->backend = backend ? backend : &DefaultCaptureBackend();
}

AudioRecorder::~AudioRecorder() {
  if (core_->initialized && !core_->finished) {
    Stop();
    Finish();
  }
}

int AudioRecorder::Init(RecorderSettings settings) {
  RecorderCore& core = *core_;
  if (core.initialized) return -1;
  core.settings = std::move(settings);
  core.outputPath = core.settings.folder + "/" + core.settings.fileName;
  if (core.settings.lengthMs > 0) core.clock.Limit(core.settings.lengthMs);

  // A wav is recorded without voice processing.
  const bool processing = core.settings.format != "wav";
  core.noiseSuppression = processing && core.settings.noiseSuppression;
  core.gainControl = processing && core.settings.gainControl;
  core.source = core.settings.source;
  core.echoCancellation = processing && core.settings.echoCancellation && core.recordsMicrophone() &&
                          core.settings.hasMicrophone;
  if (core.echoCancellation)
    core.echoReference = std::make_unique<ReferenceBuffer>(kProcessingRate * kEchoReferenceSeconds);

  if (core.output.Allocate(core.settings.folder, core.settings.fileName) != 0) return -1;
  if (const int opened = OpenStep(core); opened != 0) {
    LOG(ERROR) << "音频参数初始化失败";
    core.microphone.reset();
    return opened == OutputFile::kNotWritable ? kInitNothingWritten : -1;
  }
  core.outputPath = core.output.path();  // a taken name was given a number
  if (!core.settings.hasMicrophone) core.source = VoiceSource::Speaker;

  const EncoderChoice& choice = core.output.choice();
  if (!core.mute() && core.isBoth() && core.graph.Build(core.output.codec(), choice.frameSize) != 0) {
    LOG(ERROR) << "混音参数初始化失败";
    core.output.Abandon();
    return -2;
  }
  if (core.recordsSystemSound() &&
      core.speakerFifo.Create(choice.sampleFormat, kOutputChannels, kSpeakerFifoSamples, &core.encoderWake) != 0) {
    core.output.Abandon();
    return -1;
  }

  if (core.capturesSystemSound()) OpenSystemSound(core);
  core.initialized = true;
  core.encoderThread = std::thread([&core] { RunEncoderThread(core); });
  if (core.recordsMicrophone()) core.microphoneThread = std::thread([&core] { RunMicrophoneThread(core); });
  if (core.capturesSystemSound()) core.speakerThread = std::thread([&core] { RunSpeakerThread(core); });
  return 0;
}

int AudioRecorder::Start() {
  if (!core_->initialized || core_->stopped) return -1;
  core_->state = static_cast<int>(RecorderState::Recording);
  core_->SetRunning(true);
  return 0;
}

int AudioRecorder::Pause() {
  if (!core_->initialized || core_->stopped) return -1;
  core_->state = static_cast<int>(RecorderState::Paused);
  core_->SetRunning(false);
  return 0;
}

int AudioRecorder::Stop() {
  RecorderCore& core = *core_;
  if (!core.initialized || core.stopped) return 0;
  core.state = static_cast<int>(RecorderState::Stopped);
  // The capture threads end first, each with what was heard until now, so that the encoder's
  // last frames are whole rather than cut short by system sound still on its way.
  core.SetRunning(false, &core.stopRequested);
  core.micFifo.WakeAll();
  for (std::thread* t : {&core.microphoneThread, &core.speakerThread}) {
    if (t->joinable()) t->join();
  }
  core.SetRunning(false, &core.encoderStop);
  core.micFifo.WakeAll();
  core.speakerFifo.WakeAll();
  if (core.encoderThread.joinable()) core.encoderThread.join();
  Trace(" WaitForMultipleObjects exit\n");
  core.stopped = true;
  return 0;
}

int AudioRecorder::Finish(FinishResult* result) {
  RecorderCore& core = *core_;
  if (!core.initialized) return -1;
  if (!core.stopped) Stop();
  if (!core.finished) {
    DrainFifos(core);
    core.finishResult.complete = core.output.Finish() == 0 && !core.encoderFailed;
    core.finishResult.writeFailed = core.output.writeFailed();
    core.finishResult.encodeFailed = core.encoderFailed || core.output.encodeFailed();
    core.finishResult.fileGone = core.output.fileGone();
    core.finishResult.removed = core.output.removed();
    core.finishResult.keptFragmented = core.output.keptFragmented();
    core.finishResult.samplesWritten = core.output.writtenSamples();
    core.finishResult.samplesRecorded = core.ClockNow();
    core.finishResult.microphoneLost = core.recordsMicrophone() && core.microphoneAway;
    core.finishResult.systemSoundLost = core.recordsSystemSound() && core.systemSoundAway;
    // The check of the rule the encoder keeps: a file longer than the time recorded is a fault.
    if (core.finishResult.samplesWritten - core.finishResult.samplesRecorded >
        int64_t{kAheadOfClockFaultMs} * kOutputSampleRate / 1000) {
      if (!core.aheadOfClock.exchange(true)) LOG(ERROR) << "the file is longer than the time recorded";
    }
    core.finishResult.aheadOfClock = core.aheadOfClock;
    if (core.aheadOfClock) core.finishResult.complete = false;
    core.microphone.reset();
    core.micToOutput.reset();
    core.finished = true;
  }
  if (result) *result = core.finishResult;
  return core.finishResult.complete ? 0 : -1;
}

RecorderState AudioRecorder::state() const { return static_cast<RecorderState>(core_->state.load()); }

VoiceSource AudioRecorder::voiceSource() const { return core_->source; }

std::string AudioRecorder::outputPath() const { return core_->outputPath; }

}  // namespace zav
