#pragma once
// One recording: turns a RecorderSettings record into one output audio file.
//
// Calling order (from one thread at a time): construct; Init; if Init succeeded, Start, then
// any number of Pause/Start pairs, then Stop, then Finish; destroy. Stop is quick: it ends
// the capture and encoder threads and returns once they are joined. Finish then encodes what
// the threads left behind, writes the trailer and closes the file; it may take as long as
// the disk needs, so front ends call it on a worker thread. A failed Init leaves no thread
// running; the object is then simply destroyed. Destroying a recorder that was not stopped
// and finished does both first.
//
// While recording, the encoder thread posts WM_RECORD_SECONDS to the owner each time the
// whole seconds written change, and kWmRecordFault once for each fault that ends the
// recording (the file can no longer be written, was deleted, or the encoder failed).

#include <atomic>
#include <memory>

#include "RecorderTypes.h"

namespace zav {

class CaptureBackend;
struct RecorderCore;

class AudioRecorder {
 public:
  // backend: the capture devices (nullptr: the sound server).
  explicit AudioRecorder(RecorderOwner* owner, CaptureBackend* backend = nullptr);
  ~AudioRecorder();
  AudioRecorder(const AudioRecorder&) = delete;
  AudioRecorder& operator=(const AudioRecorder&) = delete;

  // 0 on success, negative on failure.
  int Init(RecorderSettings settings);
  int Start();
  int Pause();
  int Stop();
  // After Stop: finishes the file. 0 when it is complete, -1 otherwise; *result (may be
  // null) says what the file holds.
  int Finish(FinishResult* result = nullptr);

  RecorderState state() const;
  // The source actually recorded (Init falls back to Speaker without a microphone).
  VoiceSource voiceSource() const;
  // Full path of the output file: folder + "/" + fileName, or, when that name was taken,
  // the numbered name Init created instead.
  std::string outputPath() const;

 private:
  std::unique_ptr<RecorderCore> core_;
};

}  // namespace zav
