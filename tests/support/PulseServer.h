#pragma once
// A private PulseAudio server for tests, started in a temporary folder of its own.
//
// The server has a null sink as its default output, a microphone (a sine tone, or a source
// that hears whatever is played into a feed sink) as its default source, and optionally a
// tone playing into the output. While the object lives, PULSE_SERVER points this process (so
// libpulse and FFmpeg's pulse input) at the server; the destructor stops the server and
// restores PULSE_SERVER.
//
// Create and destroy it on one thread (the test's); the server dies with that thread.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "LowLatencyReaders.h"

namespace zav::test {

enum class MicrophoneKind {
  kNone,      // no capture source: only the output's monitor
  kSineTone,  // module-sine-source at microphoneToneHz
  kFedSink,   // a source that records what is played into kMicrophoneFeedSink (paplay, module-sine)
};

struct PulseServerOptions {
  MicrophoneKind microphone = MicrophoneKind::kSineTone;
  int microphoneToneHz = 440;
  int outputToneHz = 0;  // > 0: module-sine plays this tone into the output sink
  int sampleRate = 44100;
  int outputChannels = 2;
  // Keep the output rendering in short blocks from the start (see LowLatencyReaders.h). Off
  // by default: a user's sinks run at their default latency and nobody keeps their monitors
  // flowing, so a recording of system sound may hear nothing for up to 2 s when a sound was
  // already playing (a sound that starts later flows at once). The microphone's feed sink
  // is always kept so, as a microphone delivers what it hears as it hears it.
  bool keepOutputFlowing = false;
};

class PulseServer {
 public:
  static constexpr const char* kOutputSink = "zav_test_out";
  static constexpr const char* kOutputDescription = "ZavTestOutput";
  static constexpr const char* kMicrophoneSource = "zav_test_mic";
  static constexpr const char* kMicrophoneDescription = "ZavTestMicrophone";
  static constexpr const char* kMicrophoneFeedSink = "zav_test_mic_feed";

  explicit PulseServer(PulseServerOptions options = {});
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  // True when the server started and answers. Otherwise error() says why.
  bool running() const { return running_; }
  // Why the server did not start, or the last failed command, with the server's log.
  const std::string& error() const { return error_; }
  // The PULSE_SERVER value, "unix:<socket>".
  const std::string& address() const { return address_; }
  // The server's own log so far.
  std::string ReadLog() const;

  // Runs pactl against this server. True when it exits 0; *output gets what it printed.
  bool Pactl(const std::vector<std::string>& arguments, std::string* output = nullptr);
  // Loads a module; returns its index, or -1.
  int LoadModule(const std::string& name, const std::string& arguments = "");
  bool UnloadModule(int index);
  bool SetDefaultSink(const std::string& name);
  bool SetDefaultSource(const std::string& name);
  // module-sine playing hz into sink; returns the module index, or -1.
  int PlayTone(const std::string& sink, int hz);
  // Plays a sound file (WAV or another format libsndfile reads) into sink with paplay, in the
  // background. False when the player cannot start. Players still running end with Stop().
  // properties: "key=value" stream properties the player gives (application.name=...).
  bool StartPlayback(const std::string& sink, const std::string& path, const std::vector<std::string>& properties = {});
  // Plays `seconds` of a half-scale sine at hz into sink with a player that calls itself
  // `application` (its stream's application.name), in the background.
  bool PlayToneAs(const std::string& application, const std::string& sink, int hz, double seconds);
  // Waits until every started player has ended; false when one is still running at timeout.
  bool WaitForPlaybacks(std::chrono::milliseconds timeout);
  // How many record streams read `source` (a source name) now; -1 when pactl failed.
  int RecordStreamsOf(const std::string& source);
  // Waits until a record stream reads `source` (a source name, such as "<sink>.monitor").
  // False at timeout.
  bool WaitForRecordingOf(const std::string& source, std::chrono::milliseconds timeout);
  // Removes the microphone's modules (the server then falls back to the output's monitor).
  bool UnloadMicrophone();
  // Keeps the sink rendering in short blocks (see LowLatencyReaders.h). The microphone's feed
  // sink gets this at start, the output when the options ask for it.
  bool KeepLowLatency(const std::string& sink);
  // Indexes of the modules loaded now.
  std::set<int> LoadedModules();

  int outputModule() const { return outputModule_; }
  int outputToneModule() const { return outputToneModule_; }

  // Kills the server as a crash would (SIGKILL) and starts a new one at the same address with
  // the start devices again, its output in the format given (rate, channels; 0 keeps the
  // first server's). Modules loaded since the start are gone. False when it did not come back.
  bool Restart(int sampleRate = 0, int outputChannels = 0);
  // Kills the server (SIGKILL) without starting another; Restart brings one back.
  bool Kill();
  // Freezes the server (SIGSTOP) and lets it go on (SIGCONT). Stop thaws a frozen server.
  bool Freeze();
  bool Thaw();

  // Stops the server now (also done by the destructor) and restores PULSE_SERVER.
  void Stop();

 private:
  bool Start();
  bool StartDaemon();
  bool WaitUntilAnswering();
  bool LoadStartModules();
  void Fail(const std::string& what);

  PulseServerOptions options_;
  std::string folder_;
  std::string socketPath_;
  std::string logPath_;
  std::string address_;
  std::string error_;
  pid_t pid_ = -1;
  bool running_ = false;
  bool frozen_ = false;
  bool environmentSet_ = false;
  std::optional<std::string> previousPulseServer_;
  int outputModule_ = -1;
  int outputToneModule_ = -1;
  std::vector<int> microphoneModules_;
  std::vector<pid_t> players_;
  LowLatencyReaders readers_;
};

}  // namespace zav::test
