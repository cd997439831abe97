#pragma once
// Types shared by the recording engine and its front ends. No platform headers.

#include <cstdint>
#include <string>
#include <string_view>

#include "Levels.h"

namespace zav {

// Posted to the owner while recording: wParam 0, lParam = whole seconds of audio written.
inline constexpr unsigned WM_RECORD_SECONDS = 1724;  // WM_USER + 700
// Posted to the owner when part of the recording fails: wParam 0, lParam = a RecorderFault.
// Each fault is posted once per recording.
inline constexpr unsigned kWmRecordFault = 1725;

enum class RecorderFault : int {
  kWriteFailed = 1,   // the disk is full or the file can no longer be written; the owner should Stop
  kFileGone = 2,      // the file was deleted or moved (its folder deleted, say)
  kEncodeFailed = 3,  // the encoder or the mixing failed: nothing more is recorded
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
  int64_t samplesWritten = 0;  // audio in the file, in samples at the output rate
  int64_t samplesRecorded = 0; // the time recorded (unpaused), in samples at the output rate
};

// AudioRecorder::Init's result when the output file was created but nothing could be written
// to it (a full disk); no file is left.
inline constexpr int kInitNothingWritten = -3;

enum class RecorderState : int { Idle = 0, Recording = 1, Paused = 2, Stopped = 3 };

enum class VoiceSource : int { Both = 0, Microphone = 1, Speaker = 2 };

struct RecorderSettings {
  std::string fileName;  // with its extension, which selects the container
  std::string folder;    // without a trailing separator
  int32_t bitRate = 128000;
  std::string format = "mp3";  // "mp3", "m4a" or "wav"
  bool hasMicrophone = false;
  std::u16string micEndpointName;
  // Measure the live levels of the recorded sources (RecorderOwner::OnLevels). Off only
  // where nobody shows them.
  bool measureLevels = true;
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

// Where Init reads its switches ("noise-check", "agc-check", "voice-source",
// "audio-mute-check", "voice-size" of section "global").
class SettingsReader {
 public:
  virtual ~SettingsReader() = default;
  virtual int ReadInt(std::string_view section, std::string_view key, int defaultValue) const = 0;
};

// The desktop program's reader: the process-wide settings store.
class ConfigStoreSettingsReader final : public SettingsReader {
 public:
  int ReadInt(std::string_view section, std::string_view key, int defaultValue) const override;
};

}  // namespace zav
