#include "DevicePanel.h"

#include <map>

#include <QComboBox>
#include <QSignalBlocker>

#include "SettingWrites.h"
#include "StoredChoices.h"
#include "dui/Notify.h"
#include "dui/WindowImplBase.h"
#include "pulse/AudioDevices.h"
#include "dui/Texts.h"

namespace zav {
namespace {

QString Text(std::string_view text) { return Tr(text); }

}  // namespace

DevicePanel::DevicePanel(WindowImplBase& window, WorkQueue* disk, std::function<void(const CaptureDevices&)> onChange)
    : window_(&window),
      disk_(disk),
      onChange_(std::move(onChange)),
      microphone_(window.FindControl<QComboBox>(QStringLiteral("record-mic-device"))),
      speaker_(window.FindControl<QComboBox>(QStringLiteral("record-speaker-device"))) {
  Fill(microphone_, {}, {});
  Fill(speaker_, {}, {});
  watcher_ = std::make_unique<AudioDeviceWatcher>([window = window_, this](const AudioDevices& devices) {
    window->PostTask([this, devices] { ShowDevices(devices); });
  });
}

DevicePanel::~DevicePanel() { watcher_.reset(); }

void DevicePanel::Show(const CaptureDevices& stored) {
  chosen_ = stored;
  Fill(microphone_, microphones_, chosen_.microphone);
  Fill(speaker_, outputs_, chosen_.speaker);
  if (onChange_) onChange_(chosen_);
}

void DevicePanel::ShowDevices(const AudioDevices& devices) {
  microphones_ = devices.microphones;
  outputs_ = devices.outputs;
  Fill(microphone_, microphones_, chosen_.microphone);
  Fill(speaker_, outputs_, chosen_.speaker);
}

std::vector<std::string> DeviceLabels(const std::vector<AudioDevice>& devices) {
  std::map<std::string, int> total;
  for (const AudioDevice& device : devices) ++total[device.description];
  std::map<std::string, int> seen;
  std::vector<std::string> labels;
  for (const AudioDevice& device : devices) {
    const int number = ++seen[device.description];
    labels.push_back(total[device.description] > 1 ? device.description + " (" + std::to_string(number) + ")"
                                                   : device.description);
  }
  return labels;
}

void DevicePanel::Fill(QComboBox* combo, const std::vector<AudioDevice>& devices, const std::string& chosen) {
  if (!combo) return;
  const QSignalBlocker quiet(combo);  // refilling is not a choice
  combo->clear();
  combo->addItem(Text(kDefaultEntry), QString());
  int selected = 0;
  const std::vector<std::string> labels = DeviceLabels(devices);
  for (size_t i = 0; i < devices.size(); ++i) {
    combo->addItem(QString::fromStdString(labels[i]), QString::fromStdString(devices[i].name));
    // The server's name tells the user which is which, where descriptions are alike.
    combo->setItemData(combo->count() - 1, QString::fromStdString(devices[i].name), Qt::ToolTipRole);
    if (devices[i].name == chosen) selected = combo->count() - 1;
  }
  if (!chosen.empty() && selected == 0) {
    combo->addItem(QString::fromStdString(chosen) + Text(kMissingMark), QString::fromStdString(chosen));
    selected = combo->count() - 1;
  }
  combo->setCurrentIndex(selected);
}

bool DevicePanel::Handle(const TNotifyUI& msg) {
  if (msg.type != kNotifyItemSelect || !msg.sender || (msg.sender != microphone_ && msg.sender != speaker_)) return false;
  auto* combo = static_cast<QComboBox*>(msg.sender);
  const std::string name = combo->currentData().toString().toStdString();
  const bool microphone = combo == microphone_;
  std::string& chosen = microphone ? chosen_.microphone : chosen_.speaker;
  if (name == chosen) return true;
  chosen = name;
  StoreSetting(window_, disk_, microphone ? keys::kMicrophoneDevice : keys::kSpeakerDevice, name);
  if (onChange_) onChange_(chosen_);
  return true;
}

void DevicePanel::SourceChanged(VoiceSource source) {
  source_ = source;
  UpdateEnabled();
}

void DevicePanel::SetRecording(bool recording) {
  recording_ = recording;
  UpdateEnabled();
}

void DevicePanel::UpdateEnabled() {
  if (microphone_) microphone_->setEnabled(!recording_ && source_ != VoiceSource::Speaker);
  if (speaker_) speaker_->setEnabled(!recording_ && source_ != VoiceSource::Microphone);
}

}  // namespace zav
