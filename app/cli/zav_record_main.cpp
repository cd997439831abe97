// zav-record: records from the command line with the desktop program's engine.

#include <fcntl.h>
#include <glog/logging.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "CliTexts.h"
#include "LevelLine.h"
#include "LogSetup.h"
#include "RecordingController.h"
#include "RecordOptions.h"
#include "Trace.h"
#include "pulse/AudioDevices.h"
#include "UserFolders.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace zav;

RecorderSettings SettingsFrom(const RecordOptions& o, const std::string& folder) {
  RecorderSettings s;
  s.source = o.source;
  s.format = o.format;
  s.bitRate = o.bitRate;
  s.folder = folder;
  s.mute = o.mute;
  s.noiseSuppression = o.noise;
  s.gainControl = o.agc;
  s.boost = o.boost;
  s.echoCancellation = o.echoCancel;
  s.measureLevels = o.levels;
  s.devices = o.devices;
  // --seconds is the file's length: the clock stops there even when the stop comes late.
  s.lengthMs = static_cast<int64_t>(o.seconds * 1000 + 0.5);
  return s;
}

// Keeps what the controller reports; wakes the main thread when the recording cannot go on.
class CliListener final : public RecordingListener {
 public:
  void OnStarted(const StartReport& report) override {
    std::lock_guard lock(mutex_);
    started_ = report;
    changed_.notify_all();
  }
  void OnSeconds(uint64_t, int64_t) override {}
  void OnFault(uint64_t, RecordingFault fault) override {
    switch (fault) {
      case RecordingFault::kWriteFailed:
      case RecordingFault::kFileGone:
      case RecordingFault::kEncodeFailed:
      case RecordingFault::kAheadOfClock:
        kill(getpid(), SIGUSR1);  // nothing more would reach the file: stop now
        break;
      case RecordingFault::kMicrophoneFailed:
      case RecordingFault::kSystemSoundFailed: {
        // Silence stands in and the recording goes on, but it is not what was asked for.
        std::lock_guard lock(mutex_);
        failedSources_ |= fault == RecordingFault::kMicrophoneFailed ? kMicrophone : kSystemSound;
        break;
      }
    }
  }
  // Which sources could not be captured (kMicrophone, kSystemSound).
  int failedSources() {
    std::lock_guard lock(mutex_);
    return failedSources_;
  }
  static constexpr int kMicrophone = 1;
  static constexpr int kSystemSound = 2;
  void OnFinished(const FinishReport& report) override {
    std::lock_guard lock(mutex_);
    finished_ = report;
  }
  void OnLevels(uint64_t, const LevelReport& levels) override {
    std::lock_guard lock(mutex_);
    levels_.Add(levels);
  }

  StartReport WaitForStart() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return started_.has_value(); });
    return *started_;
  }
  std::optional<FinishReport> finished() {
    std::lock_guard lock(mutex_);
    return finished_;
  }
  // The levels line of the second that just ended.
  std::string TakeLevelLine(bool microphone, bool systemSound) {
    std::lock_guard lock(mutex_);
    return levels_.TakeLine(microphone, systemSound);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<StartReport> started_;
  std::optional<FinishReport> finished_;
  int failedSources_ = 0;
  LevelAverage levels_;
};

// FFmpeg's messages go to the log, as the program's own do.
void LogFfmpegLine(void* context, int level, const char* format, va_list arguments) {
  if (level > av_log_get_level()) return;
  char line[1024];
  int prefix = 1;
  av_log_format_line2(context, level, format, arguments, line, sizeof line, &prefix);
  std::string text(line);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty()) LOG(ERROR) << "ffmpeg: " << text;
}

constexpr std::chrono::milliseconds kListTimeout{3000};

// The devices, a line each: kind, name, description.
std::string DeviceLines(const AudioDevices& devices) {
  std::string lines;
  for (const AudioDevice& d : devices.microphones) lines += "microphone\t" + d.name + "\t" + d.description + "\n";
  for (const AudioDevice& d : devices.outputs) lines += "output\t" + d.name + "\t" + d.description + "\n";
  for (const AudioDevice& d : devices.applications) lines += "app\t" + d.name + "\t" + d.description + "\n";
  return lines;
}

// One sentence for people on standard error.
void Tell(const std::string& message) { std::fprintf(stderr, "zav-record: %s\n", message.c_str()); }

int Fail(const std::string& message, int status = 1) {
  Tell(message);
  return status;
}

// A standard stream that was closed when the program started gets /dev/null, so that no file
// opened later takes its number (a recording would receive the path, or log lines). True when
// standard output was open.
bool KeepStandardStreamsTaken() {
  bool outputOpen = true;
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) outputOpen = false;
    const int placeholder = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (placeholder >= 0 && placeholder != fd) {
      dup2(placeholder, fd);
      close(placeholder);
    }
  }
  return outputOpen;
}

// Prints text on standard output; false when it did not all get there.
bool PrintOut(const std::string& text) {
  return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
}

// Waits for Ctrl+C, SIGTERM, a fault, or the end of the given time (0: no end). Calls
// everySecond (when given) at each whole second since the start.
void WaitForEnd(const sigset_t& signals, double seconds, const std::function<void()>& everySecond) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  auto tick = start + std::chrono::seconds(1);
  for (;;) {
    auto until = Clock::now() + std::chrono::seconds(1);
    if (everySecond) until = tick;
    if (seconds > 0) {
      if (Clock::now() >= end) return;
      until = std::min(until, end);
    }
    const auto ns = std::max<int64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now()).count(), 0);
    const timespec wait{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    const int got = sigtimedwait(&signals, nullptr, &wait);
    if (got > 0) return;
    if (got < 0 && errno != EAGAIN && errno != EINTR) return;
    if (everySecond && Clock::now() >= tick) {
      everySecond();
      tick += std::chrono::seconds(1);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool outputOpen = KeepStandardStreamsTaken();
  UseChineseTexts(PrefersChineseTexts(std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                      std::getenv("LANG")));
  // A reader that went away makes the path's write fail, reported below, not a silent death.
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = ParseRecordOptions(args, &error);
  if (!options) {
    std::fprintf(stderr, "zav-record: %s\n%s\n", error.c_str(), Say("Try 'zav-record --help'.").c_str());
    return 2;
  }
  if (options->help) return PrintOut(RecordUsage()) ? 0 : Fail(Say("could not print the help text"));
  // The path of the recording is the result: without a standard output it could not be told.
  if (!outputOpen) return Fail(Say("standard output is closed: the path of the recording could not be printed"));

  // Standard error is for people: one sentence when something goes wrong. The log goes to
  // the Log folder, or with --verbose to standard error.
  if (options->verbose) {
    FLAGS_logtostderr = true;
    google::InitGoogleLogging("zav-record");
  } else {
    const std::string logFolder = GetUserFolder(kLogSubFolder);
    EnsureDirectoryPath(logFolder);
    SetUpLogging(logFolder, "zav-record", "zav-record.");
    // Without a Log folder (the per-user folders cannot be made) there is no log at all,
    // rather than glog's complaints on standard error.
    struct stat folder {};
    if (stat(logFolder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) FLAGS_minloglevel = google::GLOG_FATAL;
  }
  SetTraceEnabled(false);
  av_log_set_level(AV_LOG_ERROR);
  av_log_set_callback(options->verbose ? av_log_default_callback : LogFfmpegLine);
  for (const std::string& ignored : IgnoredOptions(*options)) {
    Tell(Say("{} does not apply to wav, which is recorded without voice processing; ignored", {ignored}));
  }

  // Signals are taken by the main thread only: block them before any thread starts.
  // A signal ignored when the program starts is never delivered, even to sigtimedwait. A shell
  // script starts its background commands with SIGINT ignored; "kill -INT" (or Ctrl+C on the
  // script) must still end the recording, so SIGINT and SIGTERM are taken back. An ignored
  // SIGHUP stays ignored: that is what nohup asks for.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  signal(SIGUSR1, SIG_DFL);  // how a fault wakes the main thread
  struct sigaction hangup {};
  sigaction(SIGHUP, nullptr, &hangup);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  if (hangup.sa_handler != SIG_IGN) sigaddset(&signals, SIGHUP);  // a closed terminal ends it cleanly too
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const std::vector<std::string>& apps = options->devices.applications;
  if (options->listDevices || !options->devices.microphone.empty() || !options->devices.speaker.empty() ||
      !apps.empty()) {
    AudioDevices devices;
    if (!ListAudioDevices(&devices, kListTimeout))
      return Fail(
          Say("cannot ask the sound server for its devices: is a sound server (PulseAudio or PipeWire) running?"));
    if (options->listDevices) return PrintOut(DeviceLines(devices)) ? 0 : Fail(Say("could not print the devices"));
    const std::string& mic = options->devices.microphone;
    const std::string& speaker = options->devices.speaker;
    if ((!mic.empty() && !devices.HasMicrophone(mic)) || (!speaker.empty() && !devices.HasOutput(speaker))) {
      const std::string which = !mic.empty() && !devices.HasMicrophone(mic)
                                    ? Say("no microphone called '{}'; the devices are:", {mic})
                                    : Say("no output called '{}'; the devices are:", {speaker});
      std::fprintf(stderr, "zav-record: %s\n%s", which.c_str(), DeviceLines(devices).c_str());
      return 2;
    }
    // Applications come and go: one that plays nothing yet is recorded once it does.
    for (const std::string& app : apps) {
      if (!devices.HasApplication(app) &&
          std::none_of(devices.applications.begin(), devices.applications.end(),
                       [&](const AudioDevice& d) { return d.description == app; }))
        Tell(Say("no application called '{}' plays now; silence is recorded until it does", {app}));
    }
  }
  const std::string folder = options->outputDir.empty() ? GetOutputFolder() : options->outputDir;
  CliListener listener;
  RecordingController controller(&listener);
  controller.Start(SettingsFrom(*options, folder));
  const StartReport start = listener.WaitForStart();
  switch (start.result) {
    case StartResult::kStarted:
      break;
    case StartResult::kStartedWithoutMicrophone:
      Tell(Say("no microphone found: recording system sound only"));
      break;
    case StartResult::kNoOutputDevice:
      return Fail(Say("no sound output found: is a sound server (PulseAudio or PipeWire) running?"));
    case StartResult::kNoMicrophone:
      return Fail(Say("no microphone found"));
    case StartResult::kFolderNotWritable:
      return Fail(Say("cannot write into the folder {}", {folder}));
    case StartResult::kNothingWritten:
      return Fail(Say("nothing could be written into {} (is the disk full?); no file was left", {folder}), 3);
    case StartResult::kBadFormat:
    case StartResult::kInitFailed:
      return Fail(Say("could not start recording: {}", {start.detail}));
  }
  std::function<void()> printLevels;
  if (options->levels) {
    const bool mute = options->mute;
    const VoiceSource source = options->source;
    const bool microphone = !mute && source != VoiceSource::Speaker && start.result == StartResult::kStarted;
    const bool systemSound = !mute && source != VoiceSource::Microphone;
    printLevels = [&listener, microphone, systemSound] {
      const std::string line = listener.TakeLevelLine(microphone, systemSound);
      if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
    };
  }
  WaitForEnd(signals, options->seconds, printLevels);
  controller.Stop();
  controller.WaitUntilIdle();
  // The file is finished: from here on Ctrl+C, SIGTERM and a closed terminal end the program
  // at once, also while it waits to write to an output that nobody reads (a paused terminal,
  // a full pipe).
  signal(SIGUSR1, SIG_IGN);
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);

  const std::optional<FinishReport> finished = listener.finished();
  int status = 0;
  if (!finished) {
    status = Fail(Say("the recording did not finish"));
  } else if (finished->removed && finished->writeFailed) {
    status = Fail(Say("the file could not be written (is the disk full?); nothing was recorded and no file was left"), 3);
  } else if (finished->removed) {
    status = Fail(Say("the recording ended before any audio was recorded; no file was left"));
  } else if (finished->writeFailed) {
    status = Fail(Say("the file could not be written any more (is the disk full?); the recording was stopped and {} "
                      "keeps what was written",
                      {finished->path}),
                  3);
  } else if (finished->fileGone) {
    status = Fail(Say("the file {} was deleted or moved while recording (was its folder deleted?)", {finished->path}));
  } else if (finished->aheadOfClock) {
    status = Fail(Say("the recording ran ahead of the clock, so its length is wrong; the recording was stopped and {} "
                      "keeps what was written",
                      {finished->path}));
  } else if (finished->encodeFailed) {
    status = Fail(Say("encoding failed; the recording was stopped and {} keeps what was encoded before", {finished->path}));
  } else if (!finished->hasAudio) {
    status = Fail(Say("the recording ended before any audio was written; {} holds no audio", {finished->path}));
  } else if (!finished->complete) {
    status = Fail(Say("the file {} could not be finished properly", {finished->path}));
  } else if (const int failed = listener.failedSources(); failed != 0) {
    const char* message =
        failed == (CliListener::kMicrophone | CliListener::kSystemSound)
            ? "the microphone and system sound could not be recorded; {} holds silence in its place"
        : failed == CliListener::kMicrophone ? "the microphone could not be recorded; {} holds silence in its place"
                                             : "system sound could not be recorded; {} holds silence in its place";
    status = Fail(Say(message, {finished->path}));
  } else if (finished->microphoneLost || finished->systemSoundLost) {
    // A device that came back before the end is no failure: the time it was away is silence.
    const char* message =
        finished->microphoneLost && finished->systemSoundLost
            ? "the microphone and system sound went away during the recording and did not come back; {} holds "
              "silence from then on"
        : finished->microphoneLost
            ? "the microphone went away during the recording and did not come back; {} holds silence from then on"
            : "system sound went away during the recording and did not come back; {} holds silence from then on";
    status = Fail(Say(message, {finished->path}));
  } else {
    // Still a whole file that plays, only not indexed at its start.
    if (finished->keptFragmented)
      Tell(Say("the disk has no room to rewrite {} as a plain m4a; it was kept fragmented, which players read as it is",
               {finished->path}));
    if (!PrintOut(finished->path + "\n")) status = Fail(Say("could not print the path of {}", {finished->path}));
  }
  // The file is finished and every worker has ended: nothing is left to clean up, so the
  // process ends without running the libraries' exit handlers (which only cost memory).
  std::fflush(nullptr);
  _exit(status);
}
