#pragma once
// The devices to record: the "麦克风" and "系统声音" combos. Their first entry, "默认设备", follows
// the sound server's default as before; the other entries are the server's microphones and
// outputs by their descriptions and, after the outputs, the applications playing now
// ("应用程序: <name>", whose sound alone is then recorded), kept current as devices and
// applications come and go (the server's events, no polling). A stored device or application
// that is not there now stays in its combo, marked, so that the choice survives unplugging
// and an application that stopped playing. A choice the user makes is stored at once. A combo
// is enabled only for a source that the chosen 录音来源 records, and not while a recording runs.
//
// UI thread only; the device watcher's reports are posted to it.

#include <QtGlobal>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "RecorderTypes.h"

class QComboBox;

namespace zav {

class AudioDeviceWatcher;
struct AudioDevice;
struct AudioDevices;
struct TNotifyUI;
class WindowImplBase;
class WorkQueue;

// What the device lists show for devices, in order: each one's description, and where two or
// more share one (two identical headsets, two "Null Output"s), its number among them, " (2)".
std::vector<std::string> DeviceLabels(const std::vector<AudioDevice>& devices);

class DevicePanel {
 public:
  // onChange: the chosen devices changed (a choice, or the stored ones shown).
  DevicePanel(WindowImplBase& window, WorkQueue* disk, std::function<void(const CaptureDevices&)> onChange);
  // Stops following the server.
  ~DevicePanel();
  DevicePanel(const DevicePanel&) = delete;
  DevicePanel& operator=(const DevicePanel&) = delete;

  // The stored choices (names; empty: the default).
  void Show(const CaptureDevices& stored);
  // True when msg was one of this panel's combos.
  bool Handle(const TNotifyUI& msg);
  // The chosen 录音来源: only the sources it records can be chosen.
  void SourceChanged(VoiceSource source);
  // A recording runs (or is paused): the devices stay as they are.
  void SetRecording(bool recording);

  const CaptureDevices& chosen() const { return chosen_; }

  // What an entry of a combo shows, for the window's texts and tests.
  static constexpr std::string_view kDefaultEntry = QT_TRANSLATE_NOOP("Zav", "默认设备");
  static constexpr std::string_view kMissingMark = QT_TRANSLATE_NOOP("Zav", " (未连接)");
  static constexpr std::string_view kApplicationEntry = QT_TRANSLATE_NOOP("Zav", "应用程序: %1");

 private:
  void ShowDevices(const AudioDevices& devices);
  // Refills combo with the default, devices and, when missing, the chosen one; selects it.
  void Fill(QComboBox* combo, const std::vector<AudioDevice>& devices, const std::string& chosen);
  // The applications after the outputs in the system sound's combo, the chosen one selected.
  void AddApplications();
  void UpdateEnabled();

  WindowImplBase* window_;
  WorkQueue* disk_;
  std::function<void(const CaptureDevices&)> onChange_;
  QComboBox* microphone_;
  QComboBox* speaker_;
  CaptureDevices chosen_;
  std::vector<AudioDevice> microphones_;
  std::vector<AudioDevice> outputs_;
  std::vector<AudioDevice> applications_;
  VoiceSource source_ = VoiceSource::Both;
  bool recording_ = false;
  std::unique_ptr<AudioDeviceWatcher> watcher_;  // last: it posts to this panel until it ends
};

}  // namespace zav
