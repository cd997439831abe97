#pragma once
// The sound server's devices for people to choose from: microphones (sources that are not the
// monitor of a sink) and outputs (sinks, recorded through their monitors), each with the
// server's name (what is stored and opened) and its description (what is shown). A listing on
// demand, and a watcher that follows the server's events.

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

  bool operator==(const AudioDevices&) const = default;
  bool HasMicrophone(const std::string& name) const;
  bool HasOutput(const std::string& name) const;
};

// Asks the server for its devices. False when it cannot be asked before the timeout.
bool ListAudioDevices(AudioDevices* devices, std::chrono::milliseconds timeout);

// Follows the server's devices without polling it: onChange gets the devices once the server
// answers and again after each change (a device plugged in or removed, shortly after the
// server's event), and empty lists when the server goes away; a lost server is looked for
// again every second.
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
