#include "RecordingController.h"

#include <glog/logging.h>

#include <ctime>

#include "AudioRecorder.h"
#include "CaptureInputs.h"
#include "EncoderChoice.h"
#include "FolderAccess.h"
#include "Mp4Remux.h"
#include "RecordingName.h"
#include "ThreadGuard.h"
#include "UserFolders.h"

namespace zav {
namespace {

bool KnownFormat(const std::string& format) { return format == "mp3" || format == "m4a" || format == "wav"; }

}  // namespace

// One recording, from the start request until its file is finished. Shared by the controller
// (while it is current) and the worker that starts or finishes it.
struct RecordingController::Session {
  enum class Phase { kStarting, kRecording, kPaused };

  uint64_t id = 0;
  RecorderSettings settings;
  std::string fileName;
  std::string path;

  std::mutex mutex;                  // guards phase, stopAsked and the recorder's creation
  Phase phase = Phase::kStarting;
  bool stopAsked = false;
  std::atomic<bool> current{true};   // false once stopped: no more seconds are reported
  std::unique_ptr<SessionOwner> owner;
  std::unique_ptr<AudioRecorder> recorder;
};

// Turns what the recorder posts into listener events of its session.
class RecordingController::SessionOwner final : public RecorderOwner {
 public:
  SessionOwner(RecordingListener* listener, Session* session) : listener_(listener), session_(session) {}
  void PostMessage(unsigned message, uintptr_t, intptr_t lParam) override {
    if (!listener_) return;
    if (message == WM_RECORD_SECONDS) {
      if (session_->current) listener_->OnSeconds(session_->id, lParam);
    } else if (message == kWmRecordFault) {
      listener_->OnFault(session_->id, static_cast<RecordingFault>(lParam));
    }
  }
  // The recorder already limits the rate to one report per 50 ms.
  void OnLevels(const LevelReport& levels) override {
    if (listener_ && session_->current) listener_->OnLevels(session_->id, levels);
  }

 private:
  RecordingListener* listener_;
  Session* session_;
};

RecordingController::RecordingController(RecordingListener* listener, CaptureBackend* backend, DeviceProbe* probe)
    : listener_(listener), backend_(backend), probe_(probe ? probe : &SoundServerDevices()) {}

RecordingController::~RecordingController() {
  Stop();
  ReapWorkers(true);
}

uint64_t RecordingController::Start(const RecorderSettings& settings) {
  ReapWorkers(false);
  auto session = std::make_shared<Session>();
  {
    std::lock_guard lock(mutex_);
    if (current_) return 0;
    session->id = ++nextId_;
    session->settings = settings;
    current_ = session;
  }
  Spawn([this, session] { RunStart(session); });
  return session->id;
}

void RecordingController::RunStart(std::shared_ptr<Session> session) {
  const RecorderSettings& c = session->settings;
  StartReport report;
  report.recording = session->id;
  auto fail = [&](StartResult result, std::string detail) {
    {
      std::lock_guard lock(mutex_);
      if (current_ == session) current_.reset();
    }
    report.result = result;
    report.detail = std::move(detail);
    LOG(ERROR) << "recording not started: " << report.detail;
    if (listener_) listener_->OnStarted(report);
  };

  if (!KnownFormat(c.format)) return fail(StartResult::kBadFormat, "unknown format '" + c.format + "'");
  EnsureDirectoryPath(c.folder);
  // A file of that name is no folder: the recorder would only fail later, as if a device had.
  if (!CanCreateFilesIn(c.folder))
    return fail(StartResult::kFolderNotWritable, "cannot write into the folder " + c.folder);
  RemoveRewriteLeftovers(c.folder);

  RecorderSettings settings = c;
  settings.hasMicrophone = false;
  settings.micEndpointName.clear();
  bool withoutMicrophone = false;
  if (!c.mute) {
    const bool wantsSystemSound = c.source != VoiceSource::Microphone;
    // A chosen device that is not there: the default stands in, and the report says so.
    if (!c.devices.microphone.empty() && c.source != VoiceSource::Speaker && !probe_->HasMicrophone(c.devices.microphone)) {
      LOG(ERROR) << "the chosen microphone " << c.devices.microphone << " is not there: recording the default";
      settings.devices.microphone.clear();
      report.microphoneStoodIn = true;
    }
    if (!c.devices.speaker.empty() && wantsSystemSound && !probe_->HasOutput(c.devices.speaker)) {
      LOG(ERROR) << "the chosen output " << c.devices.speaker << " is not there: recording the default";
      settings.devices.speaker.clear();
      report.outputStoodIn = true;
    }
    if (wantsSystemSound && !probe_->HasOutputDevice())
      return fail(StartResult::kNoOutputDevice, "no sound output device");
    if (c.source != VoiceSource::Speaker) {
      // A chosen microphone that is there is the microphone; otherwise the server's.
      settings.hasMicrophone = !settings.devices.microphone.empty() || probe_->GetMicrophoneName(&settings.micEndpointName);
      if (!settings.hasMicrophone && c.source == VoiceSource::Microphone)
        return fail(StartResult::kNoMicrophone, "no microphone");
      withoutMicrophone = !settings.hasMicrophone;
    }
  }

  settings.fileName = MakeRecordingFileName(std::time(nullptr), c.format, c.fileStem);
  session->owner = std::make_unique<SessionOwner>(listener_, session.get());
  auto recorder = std::make_unique<AudioRecorder>(session->owner.get(), backend_);
  if (const int init = recorder->Init(settings); init != 0) {
    if (init == kInitNothingWritten)
      return fail(StartResult::kNothingWritten, "nothing could be written into " + c.folder + " (is the disk full?)");
    return fail(StartResult::kInitFailed, "could not open " + c.folder + "/" + settings.fileName);
  }
  // The recorder never replaces a file: a name already taken was given a number.
  session->path = recorder->outputPath();
  session->fileName = session->path.substr(session->path.rfind('/') + 1);

  bool stopAsked = false;
  {
    std::lock_guard lock(session->mutex);
    session->recorder = std::move(recorder);
    stopAsked = session->stopAsked;
    if (!stopAsked) {
      session->phase = Session::Phase::kRecording;
      session->recorder->Start();
    }
  }
  report.result = withoutMicrophone ? StartResult::kStartedWithoutMicrophone : StartResult::kStarted;
  report.path = session->path;
  if (listener_) listener_->OnStarted(report);
  // Stopped while it was starting: nobody else will finish it.
  if (stopAsked) RunFinish(session);
}

void RecordingController::RunFinish(std::shared_ptr<Session> session) {
  FinishReport report;
  report.recording = session->id;
  report.path = session->path;
  report.folder = session->settings.folder;
  report.fileName = session->fileName;
  FinishResult result;
  if (session->recorder) {
    session->recorder->Stop();
    session->recorder->Finish(&result);
    session->recorder.reset();
  }
  report.complete = result.complete;
  report.writeFailed = result.writeFailed;
  report.encodeFailed = result.encodeFailed;
  report.fileGone = result.fileGone;
  report.aheadOfClock = result.aheadOfClock;
  report.removed = result.removed;
  report.keptFragmented = result.keptFragmented;
  report.microphoneLost = result.microphoneLost;
  report.systemSoundLost = result.systemSoundLost;
  report.hasAudio = result.samplesWritten > 0 && !result.removed;
  report.seconds = static_cast<double>(result.samplesWritten) / kOutputSampleRate;
  if (!report.good()) {
    LOG(ERROR) << "recording " << report.path << " finished " << (report.complete ? "" : "incomplete ")
               << (report.writeFailed ? "after a write failure " : "")
               << (report.encodeFailed ? "after an encoder failure " : "")
               << (report.fileGone ? "after it was deleted or moved " : "") << (report.hasAudio ? "" : "without audio")
               << (report.removed ? " (removed)" : "");
  }
  LOG_IF(ERROR, report.microphoneLost) << "recording " << report.path << ": the microphone went away and did not come back";
  LOG_IF(ERROR, report.systemSoundLost) << "recording " << report.path << ": system sound went away and did not come back";
  if (listener_) listener_->OnFinished(report);
}

bool RecordingController::Pause() {
  std::lock_guard lock(mutex_);
  if (!current_) return false;
  std::lock_guard sessionLock(current_->mutex);
  if (current_->phase != Session::Phase::kRecording) return false;
  current_->recorder->Pause();
  current_->phase = Session::Phase::kPaused;
  return true;
}

bool RecordingController::Resume() {
  std::lock_guard lock(mutex_);
  if (!current_) return false;
  std::lock_guard sessionLock(current_->mutex);
  if (current_->phase != Session::Phase::kPaused) return false;
  current_->recorder->Start();
  current_->phase = Session::Phase::kRecording;
  return true;
}

bool RecordingController::Stop() {
  std::shared_ptr<Session> session;
  {
    std::lock_guard lock(mutex_);
    session = std::move(current_);
    current_.reset();
  }
  if (!session) return false;
  session->current = false;
  bool starting = false;
  {
    std::lock_guard lock(session->mutex);
    session->stopAsked = true;
    starting = session->phase == Session::Phase::kStarting;
  }
  // A session still starting is finished by its start worker once the recorder exists.
  if (!starting) Spawn([this, session] { RunFinish(session); });
  ReapWorkers(false);
  return true;
}

RecordingController::State RecordingController::Toggle(const RecorderSettings& settingsForStart) {
  switch (state()) {
    case State::kIdle:
      Start(settingsForStart);
      break;
    case State::kRecording:
      Pause();
      break;
    case State::kPaused:
      Resume();
      break;
    case State::kStarting:
      break;
  }
  return state();
}

RecordingController::State RecordingController::state() const {
  std::lock_guard lock(mutex_);
  if (!current_) return State::kIdle;
  std::lock_guard sessionLock(current_->mutex);
  switch (current_->phase) {
    case Session::Phase::kStarting:
      return State::kStarting;
    case Session::Phase::kRecording:
      return State::kRecording;
    case Session::Phase::kPaused:
      return State::kPaused;
  }
  return State::kIdle;
}

uint64_t RecordingController::current() const {
  std::lock_guard lock(mutex_);
  return current_ ? current_->id : 0;
}

void RecordingController::WaitUntilIdle() { ReapWorkers(true); }

void RecordingController::Spawn(std::function<void()> work) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard lock(workersMutex_);
  workers_.push_back({std::thread([work = std::move(work), done] {
                        RunGuarded("zav-control", [&work] {
                          work();
                          return 0;
                        });
                        *done = true;
                      }),
                      done});
}

void RecordingController::ReapWorkers(bool all) {
  std::list<Worker> ended;
  {
    std::lock_guard lock(workersMutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (all || *it->done) {
        ended.splice(ended.end(), workers_, it++);
      } else {
        ++it;
      }
    }
  }
  for (Worker& w : ended) w.thread.join();
}

}  // namespace zav
