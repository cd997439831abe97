#include "DevicePanel.h"

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

void DevicePanel::Fill(QComboBox* combo, const std::vector<AudioDevice>& devices, const std::string& chosen) {
  if (!combo) return;
  const QSignalBlocker quiet(combo);  // refilling is not a choice
  combo->clear();
  combo->addItem(Text(kDefaultEntry), QString());
  int selected = 0;
  for (const AudioDevice& device : devices) {
    combo->addItem(QString::fromStdString(device.description), QString::fromStdString(device.name));
    if (device.name == chosen) selected = combo->count() - 1;
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
