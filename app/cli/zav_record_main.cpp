// zav-record: records from the command line with the desktop program's engine.

#include <glog/logging.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "RecordingController.h"
#include "RecordOptions.h"
#include "Trace.h"
#include "UserFolders.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace zav;

RecordingChoices ChoicesFrom(const RecordOptions& o, const std::string& folder) {
  RecordingChoices c;
  c.source = static_cast<VoiceSource>(o.voiceSource);
  c.format = o.format;
  c.bitRate = o.bitRate;
  c.folder = folder;
  c.mute = o.mute;
  c.noiseSuppression = o.noise;
  c.gainControl = o.agc;
  c.boost = o.boost;
  return c;
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
    if (fault == RecordingFault::kWriteFailed) kill(getpid(), SIGUSR1);
  }
  void OnFinished(const FinishReport& report) override {
    std::lock_guard lock(mutex_);
    finished_ = report;
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

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<StartReport> started_;
  std::optional<FinishReport> finished_;
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
  sigaddset(&signals, SIGHUP);  // a closed terminal ends the recording cleanly too
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const std::string folder = options->outputDir.empty() ? GetOutputFolder() : options->outputDir;
  CliListener listener;
  RecordingController controller(&listener);
  controller.Start(ChoicesFrom(*options, folder));
  const StartReport start = listener.WaitForStart();
  switch (start.result) {
    case StartResult::kStarted:
      break;
    case StartResult::kStartedWithoutMicrophone:
      std::fprintf(stderr, "zav-record: no microphone found: recording system sound only\n");
      break;
    case StartResult::kNoOutputDevice:
      return Fail("no sound output found: is a sound server (PulseAudio or PipeWire) running?");
    case StartResult::kNoMicrophone:
      return Fail("no microphone found");
    case StartResult::kFolderNotWritable:
      return Fail("cannot write into the folder " + folder);
    case StartResult::kBadFormat:
    case StartResult::kInitFailed:
      return Fail("could not start recording: " + start.detail);
  }
  WaitForEnd(signals, options->seconds);
  controller.Stop();
  controller.WaitUntilIdle();

  const std::optional<FinishReport> finished = listener.finished();
  int status = 0;
  if (!finished) {
    status = Fail("the recording did not finish");
  } else if (finished->writeFailed) {
    status = Fail("the file could not be written any more (is the disk full?); the recording was stopped and " +
                      finished->path + " keeps what was written",
                  3);
  } else if (!finished->hasAudio) {
    status = Fail("no audio was recorded into " + finished->path);
  } else if (!finished->complete) {
    status = Fail("the file " + finished->path + " could not be finished properly");
  } else if (std::printf("%s\n", finished->path.c_str()) < 0 || std::fflush(stdout) != 0) {
    status = Fail("could not print the path of " + finished->path);
  }
  // The file is finished and every worker has ended: nothing is left to clean up, so the
  // process ends without running the libraries' exit handlers (which only cost memory).
  std::fflush(nullptr);
  _exit(status);
}
