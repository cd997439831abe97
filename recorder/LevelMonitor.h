#pragma once
// Levels of the microphone and system sound while nothing is recorded, so that a user can
// check the microphone before starting. Captures on a thread of its own, encodes nothing,
// and reports at most 10 times a second. Qt-free.
//
// Threads: Start, Stop and running() from one thread (the UI thread). Neither waits for the
// sound server: Start only starts the thread, and Stop sets its cancel flag, which every wait
// for the server checks at least every 50 ms, then joins it. A recording has its own capture
// open when it reports its start: stopping the monitor then leaves no moment without a reader.

#include <functional>
#include <memory>

#include "Levels.h"
#include "RecorderTypes.h"

namespace zav {

class CaptureBackend;

class LevelMonitor {
 public:
  // Called on the monitor's thread.
  using Sink = std::function<void(const LevelReport&)>;

  // backend: null for the sound server's devices. The sink and backend outlive the monitor.
  explicit LevelMonitor(Sink sink, CaptureBackend* backend = nullptr);
  // Stops (joins) the capture.
  ~LevelMonitor();
  LevelMonitor(const LevelMonitor&) = delete;
  LevelMonitor& operator=(const LevelMonitor&) = delete;

  // Starts measuring the sources that `source` records (Both: microphone and system sound),
  // on the given devices (the defaults unless chosen). Returns at once: the devices are opened
  // on the monitor's thread; a source without a device reports inactive. Starting again with
  // another source or other devices restarts the capture.
  void Start(VoiceSource source, const CaptureDevices& devices = {});
  // Ends the capture and waits for its thread; the devices are free when it returns.
  void Stop();
  bool running() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zav
