#pragma once
// The recording choices kept in the settings store (section "global"), and how the main
// window's controls map to them. No Qt; the reads run on the window's disk worker.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "RecordingController.h"

namespace zav {

inline constexpr std::string_view kGlobalSection = "global";

// What set-up shows. Each index is nullopt when the stored value is outside its combo's
// items, which leaves the combo as the skin sets it.
struct StoredChoices {
  std::optional<int> source;        // "voice-source": 0 both, 1 microphone, 2 system sound
  std::optional<int> format;        // "audio-format": 0 mp3, 1 m4a, 2 wav
  std::optional<int> bitrateIndex;  // "voice-bitrate-index": 0-5
  int boost = kDefaultBoost;        // "voice-size" as the slider shows it
  bool gainControl = false;         // "agc-check"
  bool noiseSuppression = false;    // "noise-check"
  std::string outputFolder;         // created when missing
  int windowClose = 0;              // "window-close": non-zero, closing only minimises

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
// output folder, mute, noise suppression, gain control and boost. The format and bitrate are
// the combos' and are left at their defaults.
RecordingChoices ReadStoredRecordingChoices();

}  // namespace zav
