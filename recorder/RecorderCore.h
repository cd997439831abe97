#pragma once
// The state of one recording shared by the recorder and its worker threads. Internal to
// the engine.
//
// Threads: the owner's thread (Init, Start, Pause, Stop), the encoder thread, the
// microphone thread, the speaker thread. The flags are atomics polled on every pass; the
// FIFOs carry their own locks. The encoder, the graph and the output file are touched by
// the encoder thread only while it runs, and by Stop after it has been joined.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "CaptureInputs.h"
#include "LevelReporter.h"
#include "MixGraph.h"
#include "OutputFile.h"
#include "RecorderTypes.h"
#include "RecordingClock.h"
#include "ReferenceBuffer.h"
#include "SampleFifo.h"
#include "VoiceProcessor.h"
#include "WakeSignal.h"

namespace zav {

inline constexpr int kFifoSeconds = 6;  // the microphone FIFO holds this much audio
// The system-sound FIFO holds three seconds.
inline constexpr int kSpeakerFifoSamples = 3 * 44100;
// How long the encoder waits for system sound that does not come before silence stands in
// for it: a sink that plays nothing sends nothing.
inline constexpr int kSpeakerPatienceMs = 1000;
// How long the encoder waits for a microphone that delivers nothing (a vanished device, a
// frozen server), on top of how long the device may hold its audio back.
inline constexpr int kMicrophonePatienceMs = 500;
// The encoder reports a fault if the file ever runs further ahead of the clock than this.
inline constexpr int kAheadOfClockFaultMs = 1000;
// How long a microphone block waits for the system sound of its moment before it is cancelled
// without it: the speaker thread delivers within a poll (50 ms) and a 10 ms fragment when
// sound flows; a sink that plays nothing delivers nothing.
inline constexpr int kEchoReferencePatienceMs = 200;
// What echo cancellation may add to the microphone's delay: the patience, and the microphone
// poll that comes after it.
inline constexpr int kEchoHoldMs = kEchoReferencePatienceMs + 50;
// The reference kept: far more than the patience and the delay between a sound and its echo.
inline constexpr int kEchoReferenceSeconds = 2;

struct RecorderCore {
  RecorderOwner* owner = nullptr;
  CaptureBackend* backend = nullptr;

  RecorderSettings settings;
  std::string outputPath;

  // What is recorded: the settings' source, or system sound alone without a microphone.
  VoiceSource source = VoiceSource::Both;
  // Voice processing on the microphone (never for wav).
  bool noiseSuppression = false;
  bool gainControl = false;
  // Echo cancellation on the microphone (never for wav), with system sound as its reference.
  bool echoCancellation = false;

  std::atomic<int> state{static_cast<int>(RecorderState::Idle)};
  std::atomic<bool> running{false};
  std::atomic<bool> stopRequested{false};  // the capture threads end
  std::atomic<bool> encoderStop{false};    // the encoder ends (set once the capture threads have)
  std::atomic<bool> faultReported{false};
  std::atomic<bool> goneReported{false};
  std::atomic<bool> encoderFailed{false};  // the encoder thread ended on an error
  std::atomic<bool> encoderFailReported{false};
  std::atomic<bool> aheadOfClock{false};  // the file ran ahead of the clock (a fault)
  std::atomic<int> microphonePatienceMs{kMicrophonePatienceMs};
  std::atomic<bool> microphoneFaultReported{false};
  std::atomic<bool> speakerFaultReported{false};
  // A device that went away and is being looked for (set by its capture thread).
  std::atomic<bool> microphoneAway{false};
  std::atomic<bool> systemSoundAway{false};

  // The newest level of each captured source, reported to the owner by the capture threads.
  LevelReporter levels;

  OutputFile output;
  MixGraph graph;
  SampleFifo micFifo;
  SampleFifo speakerFifo;
  // System sound for the echo canceller, written by the speaker thread and read by the
  // microphone thread; made by Init with echo cancellation only.
  std::unique_ptr<ReferenceBuffer> echoReference;
  std::unique_ptr<MicrophoneInput> microphone;
  // System sound, opened by Init so that its readers are on the sinks before the recording
  // reports its start (a sink without a short-latency reader renders seconds ahead, which a
  // reader that comes later misses); then the speaker thread's. Null when it could not open.
  std::unique_ptr<SpeakerInput> speaker;
  SwrPtr micToOutput;  // microphone (or its processed 32 kHz mono signal) -> output format
  // The time recorded: runs while recording, held while paused and from Stop on.
  RecordingClock clock{kOutputSampleRate};
  // Wakes the encoder on every delivery and on Start, Pause and Stop.
  WakeSignal encoderWake;
  // Until when (steady clock, ms) the encoder writes nothing after a stall (NoteStall).
  std::atomic<int64_t> stallCatchUpUntilMs{0};

  std::thread encoderThread;
  std::thread microphoneThread;
  std::thread speakerThread;
  int64_t lastReportedSeconds = 0;
  // Samples handed to the encoder: where the file stands on the clock. The encoder thread's,
  // then Stop's.
  int64_t produced = 0;
  bool initialized = false;
  bool stopped = false;   // the threads are joined
  bool finished = false;  // the file is closed
  FinishResult finishResult;

  // Start, Pause and Stop change running and stopRequested under this lock and wake the
  // threads, so that the capture threads cut their audio at the moment of the change: what
  // was heard before Start is dropped, what was heard before Pause or Stop is kept.
  std::mutex runMutex;
  std::condition_variable runChanged;

  // Waits until deadlineMs (steady clock), until running is no longer wasRunning, or until
  // stop (stopRequested or encoderStop) is set.
  void WaitForRunChange(int64_t deadlineMs, bool wasRunning, const std::atomic<bool>& stop);
  // Sets running (running or holding the clock), and the flag stop when given, and wakes the
  // waiting threads.
  void SetRunning(bool run, std::atomic<bool>* stop = nullptr);
  // Where the clock stands now.
  int64_t ClockNow() const;
  // A thread woke at nowMs after a stall of the machine (WokeAfterStall): the encoder holds
  // off for kStallCatchUpMs.
  void NoteStall(int64_t nowMs);

  bool measuresLevels() const { return settings.measureLevels; }
  // Stores a capture thread's newest level and reports both sources to the owner when a
  // report is due at nowMs, the steady-clock time of the thread's poll (its schedule, so that
  // a poll woken a millisecond late does not miss its report). Nothing is reported unless
  // recording.
  void PublishLevel(LevelSource source, const SourceLevel& level, int64_t nowMs);

  bool mute() const { return settings.mute; }
  bool isBoth() const { return source == VoiceSource::Both; }
  bool recordsMicrophone() const { return !settings.mute && source != VoiceSource::Speaker; }
  bool recordsSystemSound() const { return !settings.mute && source != VoiceSource::Microphone; }
  // System sound is captured when it is recorded, and as the echo canceller's reference.
  bool capturesSystemSound() const { return recordsSystemSound() || echoCancellation; }
  bool processesVoice() const { return noiseSuppression || gainControl || echoCancellation; }
  void Post(unsigned message, intptr_t lParam) const {
    if (owner) owner->PostMessage(message, 0, lParam);
  }
};

// The converter from the microphone's format (or its processed 32 kHz mono signal) to the
// output format; nullptr after logging.
SwrPtr MakeMicrophoneConverter(const RecorderCore& core, const CaptureFormat& device);

// Milliseconds on the steady clock, the time base of the threads' waits.
int64_t SteadyNowMs();

// Thread bodies. The capture threads return when stopRequested is set, the encoder thread when
// encoderStop is (or on an error they log).
int RunEncoderThread(RecorderCore& core);
int RunMicrophoneThread(RecorderCore& core);
int RunSpeakerThread(RecorderCore& core);

// After the workers have ended: encodes what is left in the FIFOs up to where the clock
// stopped, with silence where a source delivered nothing, so that the file is exactly as long
// as the time recorded and nothing captured before Stop is lost.
void DrainFifos(RecorderCore& core);

// Posts the whole seconds written when they changed, and each fault once.
void ReportProgress(RecorderCore& core);

// Logs why a capture thread gave up and posts its fault once; the recording goes on with
// silence in its place.
void ReportCaptureFault(RecorderCore& core, RecordingFault fault);

}  // namespace zav
