#pragma once
// RecordingController: runs recordings for a front end (the desktop window, zav-record, the
// hotkeys and the tray menu all go through one). It checks the devices, names the file, drives
// the recorder through start, pause, resume and stop, and finishes each file on a worker
// thread of its own, so that no call here waits for the disk or the sound server.
//
// One recording at a time is current; a stopped one may still be finishing (an M4A being
// rewritten) while the next one starts.
//
// Threads: the public members are called from one thread, the owner's (the UI thread, or
// zav-record's main thread). The listener is called from the controller's workers and from
// the recorder's threads, never from the owner's thread inside a call: it must be
// thread-safe and quick (post a message, signal a waiter), and must not call the controller.

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Levels.h"
#include "RecorderTypes.h"

namespace zav {

class CaptureBackend;
class DeviceProbe;

enum class StartResult {
  kStarted,
  kStartedWithoutMicrophone,  // both sources asked, no microphone: system sound only
  kBadFormat,                 // the format is not one of the three extensions
  kNoOutputDevice,            // system sound asked, no output device
  kNoMicrophone,              // only the microphone asked, and there is none
  kFolderNotWritable,         // the output folder cannot be created or written
  kInitFailed,                // the recorder could not open its devices or its file
  kNothingWritten,            // the file could not be written at all (a full disk); none is left
};

inline bool IsStarted(StartResult r) {
  return r == StartResult::kStarted || r == StartResult::kStartedWithoutMicrophone;
}

struct StartReport {
  uint64_t recording = 0;
  StartResult result = StartResult::kInitFailed;
  // The chosen microphone / output was not there: the default device stood in.
  bool microphoneStoodIn = false;
  bool outputStoodIn = false;
  std::string path;    // the file (when started): a taken name gets a number ("...-2.mp3")
  std::string detail;  // why it did not start, for logs and zav-record
};

struct FinishReport {
  uint64_t recording = 0;
  std::string path;
  std::string folder;
  std::string fileName;
  bool complete = false;      // closed properly: the trailer and any rewrite succeeded, and
                              // the file holds everything recorded at its path
  bool writeFailed = false;   // writing stopped early (a full disk); the file keeps what was written
  bool encodeFailed = false;  // the encoder failed; the file ends where it did
  bool fileGone = false;      // the file was deleted or moved while recording
  bool aheadOfClock = false;  // the file ran ahead of the time recorded (an engine fault)
  bool removed = false;       // no audio reached the file, so it was removed (nothing to list)
  bool keptFragmented = false;  // an M4A stayed fragmented (it plays): no room to rewrite it
  bool hasAudio = false;      // at least one packet of audio reached the file
  bool microphoneLost = false;   // the microphone went away and was not back at the end
  bool systemSoundLost = false;  // the system sound's device went away and was not back at the end
  double seconds = 0;         // audio in the file
  bool good() const { return complete && !writeFailed && !aheadOfClock && hasAudio; }
};

class RecordingListener {
 public:
  virtual ~RecordingListener() = default;
  virtual void OnStarted(const StartReport& report) = 0;
  // Whole seconds of audio written, each time they change. Not sent after Stop.
  virtual void OnSeconds(uint64_t recording, int64_t seconds) = 0;
  virtual void OnFault(uint64_t recording, RecordingFault fault) = 0;
  virtual void OnFinished(const FinishReport& report) = 0;
  // Live levels of the recorded sources, at most 20 times a second while recording (none while
  // paused). From a capture thread: keep it short.
  virtual void OnLevels(uint64_t /*recording*/, const LevelReport& /*levels*/) {}
};

class RecordingController {
 public:
  enum class State { kIdle, kStarting, kRecording, kPaused };

  // backend and probe: null for the sound server's devices.
  explicit RecordingController(RecordingListener* listener, CaptureBackend* backend = nullptr,
                               DeviceProbe* probe = nullptr);
  // Stops a current recording, then waits until every file is finished.
  ~RecordingController();
  RecordingController(const RecordingController&) = delete;
  RecordingController& operator=(const RecordingController&) = delete;

  // Starts a recording in the background with the settings' choices (the controller names
  // the file and looks for the microphone); OnStarted tells how it went. Returns its id, or 0
  // when a recording is already current (or starting).
  uint64_t Start(const RecorderSettings& settings);
  // Pause and Resume act on a recording that is recording / paused; false otherwise.
  bool Pause();
  bool Resume();
  // Ends the current recording (also one still starting): the state is Idle at once, and
  // OnFinished follows when the file is complete. False when nothing is current.
  bool Stop();
  // The start/pause key: Start when idle, else Pause or Resume. Returns the new state.
  State Toggle(const RecorderSettings& settingsForStart);

  State state() const;
  // The current recording's id (0 when idle).
  uint64_t current() const;

  // Blocks until no worker is busy: every started recording has reported OnStarted and every
  // stopped one OnFinished.
  void WaitUntilIdle();

 private:
  struct Session;
  class SessionOwner;

  void RunStart(std::shared_ptr<Session> session);
  void RunFinish(std::shared_ptr<Session> session);
  void Spawn(std::function<void()> work);
  void ReapWorkers(bool all);

  RecordingListener* listener_;
  CaptureBackend* backend_;
  DeviceProbe* probe_;

  mutable std::mutex mutex_;
  std::shared_ptr<Session> current_;  // guarded by mutex_
  uint64_t nextId_ = 0;

  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::mutex workersMutex_;
  std::list<Worker> workers_;
};

}  // namespace zav
