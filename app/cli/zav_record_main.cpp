// zav-record: records from the command line with the desktop program's engine.

#include <glog/logging.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include "AudioRecorder.h"
#include "RecordOptions.h"
#include "RecordingName.h"
#include "Trace.h"
#include "UserFolders.h"
#include "pulse/MixerWrap.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace zav;

// The recorder's switches come from the command line, never from the desktop program's ini.
class OptionSettings final : public SettingsReader {
 public:
  explicit OptionSettings(const RecordOptions& o)
      : values_{{"voice-source", o.voiceSource}, {"noise-check", o.noise}, {"agc-check", o.agc},
                {"audio-mute-check", o.mute}, {"voice-size", o.boost}} {}
  int ReadInt(std::string_view section, std::string_view key, int defaultValue) const override {
    if (section != "global") return defaultValue;
    auto it = values_.find(std::string(key));
    return it == values_.end() ? defaultValue : it->second;
  }

 private:
  std::map<std::string, int> values_;
};

// Wakes the main thread when the recording cannot go on.
class SignalingOwner final : public RecorderOwner {
 public:
  std::atomic<bool> writeFailed{false};
  void PostMessage(unsigned message, uintptr_t, intptr_t) override {
    if (message == kWmRecordFault) {
      writeFailed = true;
      kill(getpid(), SIGUSR1);
    }
  }
};

int Fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "zav-record: %s\n", message.c_str());
  return status;
}

// Waits for Ctrl+C, SIGTERM, a fault, or the end of the given time (0: no end).
void WaitForEnd(const sigset_t& signals, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    timespec wait{1, 0};
    if (seconds > 0) {
      const auto left = end - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) return;
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      wait = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    }
    const int got = sigtimedwait(&signals, nullptr, &wait);
    if (got > 0) return;
    if (got < 0 && errno != EAGAIN && errno != EINTR) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = ParseRecordOptions(args, &error);
  if (!options) {
    std::fprintf(stderr, "zav-record: %s\nTry 'zav-record --help'.\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(RecordUsage(), stdout);
    return 0;
  }

  FLAGS_logtostderr = true;
  FLAGS_minloglevel = google::GLOG_ERROR;
  google::InitGoogleLogging("zav-record");
  SetTraceEnabled(false);
  av_log_set_level(AV_LOG_ERROR);

  // Signals are taken by the main thread only: block them before any thread starts.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const std::string folder = options->outputDir.empty() ? GetOutputFolder() : options->outputDir;
  EnsureDirectoryPath(folder);
  if (access(folder.c_str(), W_OK) != 0) return Fail("cannot write into the folder " + folder);

  RecorderSettings settings;
  settings.folder = folder;
  settings.fileName = MakeRecordingFileName(std::time(nullptr), options->format);
  settings.format = options->format;
  settings.bitRate = options->bitRate;
  if (!options->mute) {
    if (options->voiceSource != 1 && !HasOutputDevice())
      return Fail("no sound output found: is a sound server (PulseAudio or PipeWire) running?");
    if (options->voiceSource != 2) {
      settings.hasMicrophone = GetMicrophoneName(&settings.micEndpointName);
      if (!settings.hasMicrophone && options->voiceSource == 1) return Fail("no microphone found");
      if (!settings.hasMicrophone) std::fprintf(stderr, "zav-record: no microphone found: recording system sound only\n");
    }
  }

  OptionSettings reader(*options);
  SignalingOwner owner;
  AudioRecorder recorder(&owner, &reader);
  if (recorder.Init(settings) != 0) return Fail("could not start recording into " + recorder.outputPath());
  recorder.Start();
  WaitForEnd(signals, options->seconds);
  recorder.Stop();
  int status = 0;
  if (owner.writeFailed) {
    status = Fail("the file could not be written any more (is the disk full?); the recording was stopped and " +
                      recorder.outputPath() + " keeps what was written",
                  3);
  } else {
    std::printf("%s\n", recorder.outputPath().c_str());
  }
  // The file is finished and every worker has ended: nothing is left to clean up, so the
  // process ends without running the libraries' exit handlers (which only cost memory).
  std::fflush(nullptr);
  _exit(status);
}
