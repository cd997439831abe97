#pragma once
// The microphone and system volume sliders. Shows the devices' volumes (read on a worker of
// its own: a sound server that does not answer holds only that worker) and sets a device's
// volume when the user moves its slider. UI thread only.

#include <memory>
#include <mutex>
#include <optional>

class QLabel;
class QSlider;

namespace zav {

struct TNotifyUI;
class WindowImplBase;
class WorkQueue;

class VolumePanel {
 public:
  VolumePanel(WindowImplBase* window, WorkQueue* disk);
  ~VolumePanel();  // ends the sound server worker

  // Reads both volumes in the background and shows them when they arrive. Writes nothing.
  void Load();
  bool Handle(const TNotifyUI& msg);

  // True until the volumes of Load have been shown (for tests).
  bool Loading() const { return loading_; }

 private:
  // The latest volume the user asked for; the worker sets only that one, so a slider moved
  // quickly against a slow server never builds a backlog.
  struct Wanted {
    std::mutex mutex;
    std::optional<int> percent;
  };
  void SetLater(Wanted* wanted, int percent, void (*set)(int));
  void Show(QSlider* slider, QLabel* label, int percent);

  WindowImplBase* window_;
  WorkQueue* disk_;
  QSlider* micSlider_;
  QLabel* micLabel_;
  QSlider* sysSlider_;
  QLabel* sysLabel_;
  bool loading_ = false;
  Wanted wantedMic_;
  Wanted wantedSys_;
  std::unique_ptr<WorkQueue> sound_;  // last: joined before the rest goes
};

}  // namespace zav
