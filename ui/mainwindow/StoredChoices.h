#pragma once
// What the window keeps in the settings store, and the only place that names its keys: the
// recording choices (section "global"), the window's other settings and the two hotkeys
// (section "hotkey"), and how the main window's controls map to them. No Qt; the reads run on
// the window's disk worker.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "RecorderTypes.h"

namespace zav {

inline constexpr std::string_view kGlobalSection = "global";
inline constexpr std::string_view kHotkeySection = "hotkey";

// Keys of section "global".
namespace keys {
inline constexpr std::string_view kVoiceSource = "voice-source";
inline constexpr std::string_view kAudioFormat = "audio-format";
inline constexpr std::string_view kBitrateIndex = "voice-bitrate-index";
inline constexpr std::string_view kBitrate = "voice-bitrate";
inline constexpr std::string_view kBoost = "voice-size";
inline constexpr std::string_view kGainControl = "agc-check";
inline constexpr std::string_view kNoiseSuppression = "noise-check";
inline constexpr std::string_view kEchoCancellation = "echo-cancel";
inline constexpr std::string_view kMute = "audio-mute-check";  // written by no window
inline constexpr std::string_view kWindowClose = "window-close";
// Notices of recordings that start and files saved while the window is hidden; on unless "0".
inline constexpr std::string_view kNotifications = "notify-check";
inline constexpr std::string_view kOutputFolder = "output-dir";
inline constexpr std::string_view kMicrophoneVolume = "mic-volume-size";
inline constexpr std::string_view kSystemVolume = "sys-volume-size";
inline constexpr std::string_view kMicrophoneDevice = "mic-device";   // the server's name; empty: default
inline constexpr std::string_view kSpeakerDevice = "speaker-device";  // the server's name; empty: default
// An application whose sound alone is the system sound (ApplicationKey); empty: a sink's.
inline constexpr std::string_view kSpeakerApplication = "speaker-app";
}  // namespace keys

// The keys of one hotkey in section "hotkey".
struct HotkeyKeyNames {
  std::string_view modifier;       // modifier flags
  std::string_view virtualKey;     // virtual-key code
  std::string_view modifierRow;    // the hotkey dialog's modifier row
  std::string_view virtualKeyRow;  // the hotkey dialog's key row
};
inline constexpr HotkeyKeyNames kStartPauseKeys{"start-pause-key1", "start-pause-key2", "start-pause-key1-index",
                                                "start-pause-key2-index"};
inline constexpr HotkeyKeyNames kStopKeys{"stop-key1", "stop-key2", "stop-key1-index", "stop-key2-index"};

// What set-up shows. Each index is nullopt when the stored value is outside its combo's
// items, which leaves the combo as the skin sets it.
struct StoredChoices {
  std::optional<int> source;        // "voice-source": 0 both, 1 microphone, 2 system sound
  std::optional<int> format;        // "audio-format": 0 mp3, 1 m4a, 2 wav
  std::optional<int> bitrateIndex;  // "voice-bitrate-index": 0-5
  int boost = kDefaultBoost;        // "voice-size" as the slider shows it
  bool gainControl = false;         // "agc-check"
  bool noiseSuppression = false;    // "noise-check"
  bool echoCancellation = false;    // "echo-cancel"
  CaptureDevices devices;           // "mic-device", "speaker-device", "speaker-app"
  std::string outputFolder;         // created when missing

  // A boost of 0 (or none stored) shows, and records, as 20.
  static constexpr int kDefaultBoost = 20;
};

StoredChoices ReadStoredChoices();

// The combos' items, in order.
inline constexpr int kSourceCount = 3;
inline constexpr int kFormatCount = 3;
inline constexpr int kBitrateCount = 6;

// Bits per second of a quality item's text: "64kbps" 64000 ... "320kbps" 320000; any other
// text 128000.
int32_t BitRateOfQualityText(std::string_view text);
// The "voice-bitrate" value stored with quality index 0-5 ("64000" ... "320000").
std::string BitRateTextOfIndex(int index);

// The source at an index of the source list (and of "voice-source"); Both for anything else.
VoiceSource VoiceSourceAt(int index);

// What the next recording takes from the settings store, read afresh at each start: source,
// output folder, mute, noise suppression, gain control, boost and echo cancellation. The format and bitrate are
// the combos' and are left at their defaults.
RecorderSettings ReadStoredRecordingSettings();

}  // namespace zav
