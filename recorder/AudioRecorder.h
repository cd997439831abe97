#pragma once
// One recording: turns a RecorderSettings record into one output audio file.
//
// Calling order (all from one thread, normally the UI thread): construct; Init; if Init
// succeeded, Start, then any number of Pause/Start pairs, then Stop; destroy. Stop returns
// once every worker thread has ended and the file is finalised. A failed Init leaves no
// thread running; the object is then simply destroyed. Destroying a recorder that was not
// stopped stops it first.
//
// While recording, the encoder thread posts kWmRecordSeconds to the owner each time the
// whole seconds written change, and kWmRecordFault once if the file can no longer be written.

#include <atomic>
#include <memory>

#include "RecorderTypes.h"

namespace zav {

class CaptureBackend;
struct RecorderCore;

class AudioRecorder {
 public:
  // settings: where Init reads its switches (nullptr: the desktop program's settings store).
  // backend: the capture devices (nullptr: the sound server).
  explicit AudioRecorder(RecorderOwner* owner, const SettingsReader* settings = nullptr,
                         CaptureBackend* backend = nullptr);
  ~AudioRecorder();
  AudioRecorder(const AudioRecorder&) = delete;
  AudioRecorder& operator=(const AudioRecorder&) = delete;

  // 0 on success, negative on failure.
  int Init(RecorderSettings settings);
  int Start();
  int Pause();
  int Stop();

  RecorderState state() const;
  // The source actually recorded (Init falls back to Speaker without a microphone).
  int voiceSource() const;
  // Full path of the output file.
  std::string outputPath() const;

 private:
  std::unique_ptr<RecorderCore> core_;
};

}  // namespace zav
