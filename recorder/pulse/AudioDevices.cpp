#include "pulse/AudioDevices.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "ThreadGuard.h"
#include "pulse/PulseHandles.h"
#include "pulse/ServerQueries.h"
#include "pulse/SinkLatencyHold.h"

namespace zav {
namespace {

using namespace std::chrono_literals;
constexpr char kWatcherName[] = "ZAV device list";
constexpr auto kQueryTimeout = 2000ms;
constexpr auto kReconnectEvery = 1000ms;
// Events come in bursts (a device brings its sink, its monitor and a card): one listing after
// the burst settles.
constexpr auto kSettle = 50ms;
// How often the watcher's thread looks whether a burst of events has settled.
constexpr pa_usec_t kSettleCheckUs = 25 * 1000;

bool Find(const std::vector<AudioDevice>& devices, const std::string& name) {
  return std::any_of(devices.begin(), devices.end(), [&](const AudioDevice& d) { return d.name == name; });
}

std::string Shown(const std::string& description, const std::string& name) {
  return description.empty() ? name : description;
}

// The devices, asked on an open connection; the sinks as the server describes them too.
bool Query(const pulse::Requests& requests, AudioDevices* devices, std::vector<pulse::SinkRecord>* sinkRecords = nullptr) {
  std::vector<pulse::SourceRecord> sources;
  std::vector<pulse::SinkRecord> sinks;
  std::vector<pulse::SinkInputRecord> streams;
  if (!pulse::QuerySources(requests, &sources) || !pulse::QuerySinks(requests, &sinks) ||
      !pulse::QuerySinkInputs(requests, &streams))
    return false;
  AudioDevices found;
  for (const pulse::SourceRecord& s : sources) {
    if (!s.facts.isMonitor) found.microphones.push_back({s.facts.name, Shown(s.facts.description, s.facts.name)});
  }
  for (const pulse::SinkRecord& s : sinks) found.outputs.push_back({s.name, Shown(s.description, s.name)});
  for (const pulse::SinkInputRecord& s : streams) {
    const std::string key = ApplicationKey(s.binary, s.appName);
    if (!key.empty() && !Find(found.applications, key)) found.applications.push_back({key, Shown(s.appName, key)});
  }
  *devices = std::move(found);
  if (sinkRecords) *sinkRecords = std::move(sinks);
  return true;
}

}  // namespace

bool AudioDevices::HasMicrophone(const std::string& name) const { return Find(microphones, name); }
bool AudioDevices::HasOutput(const std::string& name) const { return Find(outputs, name); }
bool AudioDevices::HasApplication(const std::string& key) const { return Find(applications, key); }

std::string ApplicationKey(const std::string& binary, const std::string& appName) {
  return appName.empty() ? binary : appName;
}

bool IsApplication(const std::string& key, const std::string& binary, const std::string& appName) {
  return !key.empty() && (key == binary || key == appName);
}

bool ListAudioDevices(AudioDevices* devices, std::chrono::milliseconds timeout) {
  const pulse::Deadline deadline = pulse::DeadlineIn(timeout);
  pulse::Connection connection;
  if (!pulse::Connect(kWatcherName, deadline, &connection)) return false;
  return Query(pulse::Requests(connection, deadline), devices);
}

struct AudioDeviceWatcher::Impl {
  std::function<void(const AudioDevices&)> onChange;
  std::atomic<bool> stop{false};
  std::thread thread;
  std::optional<AudioDevices> published;
  bool changed = false;  // an event arrived since the last listing
  pulse::Clock::time_point changedAt;
  // The mainloop the thread waits in while the server is quiet, for the owner to wake it at
  // stop: the thread sleeps until the server says something, not a fixed time.
  std::mutex loopMutex;
  pa_mainloop* loop = nullptr;

  void Stop() {
    std::lock_guard lock(loopMutex);
    stop = true;
    if (loop) pa_mainloop_wakeup(loop);
  }
  void SetLoop(pa_mainloop* mainloop) {
    std::lock_guard lock(loopMutex);
    loop = mainloop;
  }

  void Publish(const AudioDevices& devices) {
    if (published == devices) return;
    published = devices;
    onChange(devices);
  }

  static void OnEvent(pa_context*, pa_subscription_event_type_t, uint32_t, void* userdata) {
    auto* self = static_cast<Impl*>(userdata);
    if (!self->changed) self->changedAt = pulse::Clock::now();
    self->changed = true;
  }

  // Sleeps up to `time`, ending early on stop.
  void Pause(std::chrono::milliseconds time) {
    for (auto until = pulse::Clock::now() + time; !stop && pulse::Clock::now() < until;) std::this_thread::sleep_for(20ms);
  }

  // One connection's life: listings after each burst of events, until the server goes or stop.
  void Follow(pulse::Connection& connection) {
    pa_context* context = connection.context.get();
    pa_mainloop* mainloop = connection.mainloop.get();
    pa_context_set_subscribe_callback(context, &Impl::OnEvent, this);
    const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE |
                                                           PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_SERVER);
    if (!pulse::RunOperation(mainloop, pa_context_subscribe(context, mask, nullptr, nullptr),
                             pulse::DeadlineIn(kQueryTimeout), &stop)) {
      return;
    }
    changed = true;
    changedAt = pulse::Clock::now() - kSettle;
    // For as long as the list is followed, every sink is kept ready to be recorded at once.
    pulse::SinkLatencyHold hold(context);
    SetLoop(mainloop);
    struct Unset {
      Impl* impl;
      ~Unset() { impl->SetLoop(nullptr); }
    } unset{this};
    while (!stop && PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
      if (changed && pulse::Clock::now() - changedAt >= kSettle) {
        changed = false;
        AudioDevices devices;
        std::vector<pulse::SinkRecord> sinks;
        if (!Query(pulse::Requests(connection, pulse::DeadlineIn(kQueryTimeout), &stop), &devices, &sinks)) return;
        hold.Match(sinks);
        Publish(devices);
      }
      // A wakeup sent before the poll is kept in the mainloop's pipe, so a stop is never missed.
      if (pa_mainloop_prepare(mainloop, changed ? static_cast<int>(kSettleCheckUs) : -1) < 0 ||
          pa_mainloop_poll(mainloop) < 0 || pa_mainloop_dispatch(mainloop) < 0) {
        return;
      }
    }
  }

  void Run() {
    while (!stop) {
      pulse::Connection connection;
      if (pulse::Connect(kWatcherName, pulse::DeadlineIn(kQueryTimeout), &connection, &stop)) Follow(connection);
      if (stop) break;
      Publish({});  // the server is away: no devices to choose
      Pause(kReconnectEvery);
    }
  }
};

AudioDeviceWatcher::AudioDeviceWatcher(std::function<void(const AudioDevices&)> onChange)
    : impl_(std::make_unique<Impl>()) {
  impl_->onChange = std::move(onChange);
  impl_->thread = std::thread([impl = impl_.get()] {
    RunGuarded("zav-devices", [impl] {
      impl->Run();
      return 0;
    });
  });
}

AudioDeviceWatcher::~AudioDeviceWatcher() {
  impl_->Stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace zav
