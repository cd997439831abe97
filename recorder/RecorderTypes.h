#pragma once
// Types shared by the recording engine and its front ends. No platform headers.

#include <cstdint>
#include <string>
#include <vector>

#include "Levels.h"

namespace zav {

// Posted to the owner while recording: wParam 0, lParam = whole seconds of audio written.
inline constexpr unsigned WM_RECORD_SECONDS = 1724;  // WM_USER + 700
// Posted to the owner when part of the recording fails: wParam 0, lParam = a RecordingFault.
// Each fault is posted once per recording.
inline constexpr unsigned kWmRecordFault = 1725;

enum class RecordingFault : int {
  kWriteFailed = 1,   // the disk is full or the file can no longer be written; the owner should Stop
  kFileGone = 2,      // the file was deleted or moved (its folder deleted, say); the owner should Stop
  kEncodeFailed = 3,  // the encoder or the mixing failed: nothing more is recorded; the owner should Stop
  kMicrophoneFailed = 4,  // the microphone path failed; silence stands in for it, the recording goes on
  kSystemSoundFailed = 5, // system sound could not be captured; silence stands in for it
  kAheadOfClock = 6,  // the file ran ahead of the time recorded: its length cannot be trusted
};

// What finishing a recording gave.
struct FinishResult {
  bool complete = false;     // the file was closed properly (trailer written, M4A made plain)
                             // and holds everything recorded
  bool writeFailed = false;  // a write failed while recording (a full disk): the file ends early
  bool encodeFailed = false; // the encoder failed: the file ends where it did
  bool fileGone = false;     // the file was deleted or moved while recording
  bool aheadOfClock = false; // the file ran ahead of the time recorded (a fault of the engine)
  bool removed = false;      // no audio reached the file, so it was removed
  bool keptFragmented = false;  // an M4A stayed fragmented: no room on the disk to rewrite it
  // The device was away when the recording ended: silence stands in for it from when it went.
  // One that came back before the end is not lost (silence stands in for the time it was away).
  bool microphoneLost = false;
  bool systemSoundLost = false;
  int64_t samplesWritten = 0;  // audio in the file, in samples at the output rate
  int64_t samplesRecorded = 0; // the time recorded (unpaused), in samples at the output rate
};

// AudioRecorder::Init's result when the output file was created but nothing could be written
// to it (a full disk); no file is left.
inline constexpr int kInitNothingWritten = -3;

enum class RecorderState : int { Idle = 0, Recording = 1, Paused = 2, Stopped = 3 };

enum class VoiceSource : int { Both = 0, Microphone = 1, Speaker = 2 };

// The devices to record: the sound server's names of a source (a microphone) and of a sink
// (its monitor is recorded); empty for the server's default, followed wherever it goes. With
// applications named (ApplicationKey: a program's file name, or an application's name), the
// system sound is their streams alone, on whichever sinks they play, in place of a sink's.
struct CaptureDevices {
  std::string microphone;
  std::string speaker;
  std::vector<std::string> applications;

  bool operator==(const CaptureDevices&) const = default;
};

// Everything that shapes one recording. The front ends fill the choices; the controller adds
// the file's name and what it found of the devices.
struct RecorderSettings {
  VoiceSource source = VoiceSource::Both;
  std::string format = "mp3";  // the file's extension: "mp3", "m4a" or "wav"
  int32_t bitRate = 128000;
  std::string folder;          // without a trailing separator; created when missing
  bool mute = false;           // real-time silence, no device opened
  bool noiseSuppression = false;  // on the microphone; not for "wav"
  bool gainControl = false;       // on the microphone; not for "wav"
  int boost = 20;                 // the gain control's compression gain, dB
  // Cancel the sound of the speakers in the microphone (system sound is captured as the echo
  // canceller's reference, also when only the microphone is recorded); not for "wav".
  bool echoCancellation = false;
  CaptureDevices devices;         // the defaults unless chosen
  // Measure the live levels of the recorded sources (RecorderOwner::OnLevels). Off only
  // where nobody shows them.
  bool measureLevels = true;

  // The file's name before "-<local time>.<ext>" (FileStemOf); empty for "新录音".
  // The recording is this long, in milliseconds of unpaused time, however late Stop comes
  // (0: as long as it runs).
  int64_t lengthMs = 0;
  std::string fileStem;
  std::string fileName;  // with its extension, which selects the container
  bool hasMicrophone = false;
  std::u16string micEndpointName;
};

// Whoever owns a recorder: receives its posted reports. Must be callable from any thread.
class RecorderOwner {
 public:
  virtual ~RecorderOwner() = default;
  virtual void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
  // Live levels of the recorded sources, at most 20 times a second while recording (none
  // while paused), from a capture thread: keep it short.
  virtual void OnLevels(const LevelReport& /*levels*/) {}
};

}  // namespace zav
