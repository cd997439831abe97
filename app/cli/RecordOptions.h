#pragma once
// Command-line options of zav-record. Pure: parsing only.

#include <optional>
#include <string>
#include <vector>

#include "RecorderTypes.h"

namespace zav {

// The longest --seconds (about 31 years): beyond it the end time would not fit the clock.
inline constexpr double kMaxRecordSeconds = 1e9;

struct RecordOptions {
  VoiceSource source = VoiceSource::Both;
  std::string format = "mp3";
  int bitRate = 64000;  // as the window's quality list starts
  double seconds = 0;  // 0: until interrupted
  std::string outputDir;  // empty: the desktop program's output folder
  bool mute = false;
  bool noise = false;
  bool agc = false;
  int boost = 20;
  bool boostGiven = false;
  bool echoCancel = false;  // cancel the speakers' sound in the microphone
  bool levels = false;  // print the sources' levels once a second on standard error
  bool verbose = false; // the log on standard error rather than in the Log folder
  // --mic, --speaker: the server's device names (empty: the default); --app (repeatable):
  // applications whose sound alone is the system sound.
  CaptureDevices devices;
  bool listDevices = false;
  bool help = false;
};

// The voice-processing options given that the format ignores ("--noise", "--agc", "--boost",
// "--echo-cancel" with wav, which is recorded without voice processing), in that order.
std::vector<std::string> IgnoredOptions(const RecordOptions& options);

// Parses argv[1..]. On an error returns nullopt and sets *error to a message for the user.
std::optional<RecordOptions> ParseRecordOptions(const std::vector<std::string>& args, std::string* error);

const char* RecordUsage();

}  // namespace zav
