// The idle level monitor: one thread that opens the sources for the chosen VoiceSource,
// wakes every 100 ms, measures what arrived and reports through the same LevelReporter as a
// recording does. Nothing is converted or encoded. Voice processing is left out on purpose:
// while idle the meter shows the microphone as the server delivers it, which costs a
// fraction of running noise suppression and gain control just for a meter.

#include "LevelMonitor.h"

#include <glog/logging.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "CaptureInputs.h"
#include "LevelMeter.h"
#include "LevelReporter.h"
#include "ThreadGuard.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace zav {
namespace {

// Ten reports a second: enough for a meter that a user glances at before recording, and half
// the wake-ups (of this thread and of the window that draws them) of a recording's twenty.
constexpr int64_t kPollMs = 100;
// A source that could not be opened is tried again after this, doubling up to the maximum, so
// that a machine without a microphone does not fill the log.
constexpr int64_t kFirstRetryMs = 2000;
constexpr int64_t kMaxRetryMs = 30000;
constexpr int64_t kReopenEveryMs = 1000;  // a microphone that went away is looked for again
constexpr int kQuietAfterPolls = 2;       // polls without sound before a meter reads silence
// The microphone as the meter wants it; the server converts.
constexpr CaptureFormat kMicrophoneFormat{44100, 2, AV_SAMPLE_FMT_FLT};

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// When to try a source again after a failure.
class Retry {
 public:
  bool Due(int64_t now) const { return now >= at_; }
  void Failed(int64_t now) {
    at_ = now + delay_;
    delay_ = std::min(delay_ * 2, kMaxRetryMs);
  }
  void Succeeded() { delay_ = kFirstRetryMs; }

 private:
  int64_t at_ = 0;
  int64_t delay_ = kFirstRetryMs;
};

// What the monitor's thread shares with the sources it measures.
struct MonitorShared {
  LevelMonitor::Sink sink;
  CaptureBackend* backend = nullptr;
  CaptureDevices devices;  // set before the thread starts
  std::atomic<bool> cancel{false};
  LevelReporter reporter;

  // Keeps a source's newest level for the poll's report.
  void Publish(LevelSource which, const SourceLevel& level) { reporter.SetLevel(which, level); }
  // One report per poll, both sources measured in it. nowMs: when the poll was due (its
  // schedule, so that a poll woken a millisecond late does not miss its report).
  void Report(int64_t nowMs) {
    reporter.Report(nowMs, [this](const LevelReport& report) {
      if (sink) sink(report);
    });
  }
};

class MicrophoneMeter {
 public:
  explicit MicrophoneMeter(MonitorShared& monitor) : monitor_(monitor) {}

  void Poll(int64_t now) {
    if (!input_ && !Open(now)) {
      monitor_.Publish(LevelSource::kMicrophone, SourceLevel{});
      return;
    }
    if (gone_ && !LookAgain(now)) {
      monitor_.Publish(LevelSource::kMicrophone, SourceLevel{});
      return;
    }
    bool heard = false;
    for (;;) {
      const void* data = nullptr;
      int frames = 0;
      const MicrophoneInput::ReadResult read = input_->Read(&data, &frames);
      if (read == MicrophoneInput::kNone) break;
      if (read == MicrophoneInput::kGone) {
        gone_ = true;
        lastLookMs_ = now;
        monitor_.Publish(LevelSource::kMicrophone, SourceLevel{});
        return;
      }
      const bool finished = meter_.Add(data, frames, format_.sampleFormat);
      input_->Release();
      heard = true;
      if (finished) monitor_.Publish(LevelSource::kMicrophone, meter_.level());
    }
    // A suspended source sends nothing; one with a fixed latency sends seldom.
    quietPolls_ = heard ? 0 : quietPolls_ + 1;
    if (quietPolls_ >= kQuietAfterPolls + input_->DeliveryMs() / kPollMs)
      monitor_.Publish(LevelSource::kMicrophone, SourceLevel{true});
  }

 private:
  bool Open(int64_t now) {
    if (!retry_.Due(now)) return false;
    input_ = monitor_.backend->CreateMicrophone(monitor_.devices.microphone);
    if (!input_ || input_->Open(kMicrophoneFormat, monitor_.cancel) != 0) {
      input_.reset();
      retry_.Failed(NowMs());
      return false;
    }
    retry_.Succeeded();
    Follow();
    return true;
  }

  bool LookAgain(int64_t now) {
    if (now - lastLookMs_ < kReopenEveryMs) return false;
    lastLookMs_ = now;
    if (input_->Reopen() != 0) return false;
    gone_ = false;
    Follow();
    return true;
  }

  void Follow() {
    format_ = input_->Format();
    meter_.Reset(format_.sampleRate, format_.channels);
  }

  MonitorShared& monitor_;
  std::unique_ptr<MicrophoneInput> input_;
  CaptureFormat format_;
  LevelMeter meter_;
  Retry retry_;
  bool gone_ = false;
  int64_t lastLookMs_ = 0;
  int quietPolls_ = 0;
};

class SystemSoundMeter {
 public:
  explicit SystemSoundMeter(MonitorShared& monitor) : monitor_(monitor) {}

  void Poll(int64_t now) {
    if (!input_ && !Open(now)) {
      monitor_.Publish(LevelSource::kSystemSound, SourceLevel{});
      return;
    }
    bool heard = false;
    for (;;) {
      const int pending = input_->NextPacketFrames();
      if (pending < 0) return Fail(now);
      if (pending == 0) break;
      const CaptureFormat format = input_->Format();
      if (!(format == format_)) Follow(format);
      const void* data = nullptr;
      int frames = 0;
      if (input_->GetBuffer(&data, &frames) < 0) return Fail(now);
      const bool finished = meter_.Add(data, frames, AV_SAMPLE_FMT_S32);
      if (input_->ReleaseBuffer() < 0) return Fail(now);
      heard = true;
      if (finished) monitor_.Publish(LevelSource::kSystemSound, meter_.level());
    }
    quietPolls_ = heard ? 0 : quietPolls_ + 1;
    // Nothing playing: a sink that is idle sends nothing at all.
    if (quietPolls_ >= kQuietAfterPolls) monitor_.Publish(LevelSource::kSystemSound, SourceLevel{true});
  }

 private:
  bool Open(int64_t now) {
    if (!retry_.Due(now)) return false;
    input_ = monitor_.backend->CreateSystemSound(monitor_.devices.speaker, monitor_.devices.applications,
                                                 SystemSoundUse::kMeter);
    if (!input_ || input_->Open(monitor_.cancel) != 0) {
      input_.reset();
      retry_.Failed(NowMs());
      return false;
    }
    retry_.Succeeded();
    Follow(input_->Format());
    return true;
  }

  void Fail(int64_t now) {
    LOG(ERROR) << "level monitor: system sound failed";
    input_.reset();
    retry_.Failed(now);
    monitor_.Publish(LevelSource::kSystemSound, SourceLevel{});
  }

  void Follow(const CaptureFormat& format) {
    format_ = format;
    meter_.Reset(format.sampleRate, format.channels);
  }

  MonitorShared& monitor_;
  std::unique_ptr<SpeakerInput> input_;
  CaptureFormat format_;
  LevelMeter meter_;
  Retry retry_;
  int quietPolls_ = 0;
};

}  // namespace

struct LevelMonitor::Impl {
  MonitorShared shared;
  std::thread thread;
  std::optional<VoiceSource> source;  // while running
  CaptureDevices devices;             // while running
  std::mutex mutex;                   // guards the wait for the next poll
  std::condition_variable wake;

  void Run(VoiceSource source);
  // Waits until deadline (steady clock, ms) or until cancelled.
  void WaitUntil(int64_t deadlineMs) {
    using namespace std::chrono;
    std::unique_lock lock(mutex);
    wake.wait_until(lock, steady_clock::time_point(milliseconds(deadlineMs)),
                    [this] { return shared.cancel.load(); });
  }
};

void LevelMonitor::Impl::Run(VoiceSource which) {
  const std::atomic<bool>& cancel = shared.cancel;
  shared.reporter.Clear();
  std::optional<MicrophoneMeter> microphone;
  std::optional<SystemSoundMeter> systemSound;
  if (which != VoiceSource::Speaker) microphone.emplace(shared);
  if (which != VoiceSource::Microphone) systemSound.emplace(shared);
  for (int64_t poll = NowMs(); !cancel; WaitUntil(poll)) {
    if (microphone) microphone->Poll(poll);
    if (cancel) break;
    if (systemSound) systemSound->Poll(poll);
    if (!cancel) shared.Report(poll);
    poll = std::max(poll + kPollMs, NowMs());
  }
}

LevelMonitor::LevelMonitor(Sink sink, CaptureBackend* backend) : impl_(std::make_unique<Impl>()) {
  impl_->shared.sink = std::move(sink);
  impl_->shared.backend = backend ? backend : &DefaultCaptureBackend();
}

LevelMonitor::~LevelMonitor() { Stop(); }

void LevelMonitor::Start(VoiceSource source, const CaptureDevices& devices) {
  if (impl_->source == source && impl_->devices == devices) return;
  Stop();
  impl_->shared.cancel = false;
  impl_->shared.devices = devices;
  impl_->source = source;
  impl_->devices = devices;
  impl_->thread = std::thread([impl = impl_.get(), source] {
    RunGuarded("zav-levels", [impl, source] {
      impl->Run(source);
      return 0;
    });
  });
}

void LevelMonitor::Stop() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->shared.cancel = true;
  }
  impl_->wake.notify_all();
  if (impl_->thread.joinable()) impl_->thread.join();
  impl_->source.reset();
}

bool LevelMonitor::running() const { return impl_->source.has_value(); }

}  // namespace zav
