#pragma once
// The sound server's devices for people to choose from: microphones (sources that are not the
// monitor of a sink), outputs (sinks, recorded through their monitors) and the applications
// playing now (their streams recorded alone), each with the server's name (what is stored
// and opened; for an application, ApplicationKey) and its description (what is shown). A
// listing on demand, and a watcher that follows the server's events.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zav {

struct AudioDevice {
  std::string name;
  std::string description;  // the name when the server gives none

  bool operator==(const AudioDevice&) const = default;
};

struct AudioDevices {
  std::vector<AudioDevice> microphones;
  std::vector<AudioDevice> outputs;
  std::vector<AudioDevice> applications;  // playing now, one entry each

  bool operator==(const AudioDevices&) const = default;
  bool HasMicrophone(const std::string& name) const;
  bool HasOutput(const std::string& name) const;
  bool HasApplication(const std::string& key) const;
};

// What names an application among the streams that play: its name (application.name), or
// where it gives none, its program's file name (application.process.binary). The name comes
// first because programs run by one interpreter or tool share a file name. Empty for a stream
// that names no application (a server module's tone, a loopback). Pure.
std::string ApplicationKey(const std::string& binary, const std::string& appName);
// Whether a stream of the application with this program file and name is the one `key` names
// (its program file or its name, so that either, as the user gives it, finds it). Pure.
bool IsApplication(const std::string& key, const std::string& binary, const std::string& appName);

// Asks the server for its devices. False when it cannot be asked before the timeout.
bool ListAudioDevices(AudioDevices* devices, std::chrono::milliseconds timeout);

// Follows the server's devices without polling it: onChange gets the devices once the server
// answers and again after each change (a device plugged in or removed, shortly after the
// server's event), and empty lists when the server goes away; a lost server is looked for
// again every second. While it follows them, every sink is kept rendering in short blocks
// (SinkLatencyHold), so that a recording started at any moment hears what already plays.
//
// Threads: onChange runs on the watcher's own thread (keep it short: post to the window). The
// destructor stops that thread and waits for it.
class AudioDeviceWatcher {
 public:
  explicit AudioDeviceWatcher(std::function<void(const AudioDevices&)> onChange);
  ~AudioDeviceWatcher();
  AudioDeviceWatcher(const AudioDeviceWatcher&) = delete;
  AudioDeviceWatcher& operator=(const AudioDeviceWatcher&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zav
