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

// Marks the entries of the system sound's combo that are applications.
constexpr int kApplicationRole = Qt::UserRole + 1;

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
  Fill(speaker_, outputs_, chosen_.applications.empty() ? chosen_.speaker : std::string());
  AddApplications();
  if (onChange_) onChange_(chosen_);
}

void DevicePanel::ShowDevices(const AudioDevices& devices) {
  microphones_ = devices.microphones;
  outputs_ = devices.outputs;
  applications_ = devices.applications;
  Fill(microphone_, microphones_, chosen_.microphone);
  Fill(speaker_, outputs_, chosen_.applications.empty() ? chosen_.speaker : std::string());
  AddApplications();
}

void DevicePanel::AddApplications() {
  if (!speaker_) return;
  const QSignalBlocker quiet(speaker_);
  const std::string chosen = chosen_.applications.empty() ? std::string() : chosen_.applications.front();
  bool listed = false;
  auto add = [&](const QString& shown, const std::string& key) {
    speaker_->addItem(Text(kApplicationEntry).arg(shown), QString::fromStdString(key));
    speaker_->setItemData(speaker_->count() - 1, true, kApplicationRole);
    if (key == chosen) {
      speaker_->setCurrentIndex(speaker_->count() - 1);
      listed = true;
    }
  };
  for (const AudioDevice& app : applications_) add(QString::fromStdString(app.description), app.name);
  if (!chosen.empty() && !listed) add(QString::fromStdString(chosen) + Text(kMissingMark), chosen);
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
  if (!microphone) {
    // An application or an output: whichever is chosen, the other choice goes.
    const bool application = combo->currentData(kApplicationRole).toBool();
    const std::vector<std::string> applications = application ? std::vector<std::string>{name} : std::vector<std::string>{};
    const std::string speaker = application ? chosen_.speaker : name;
    if (applications == chosen_.applications && speaker == chosen_.speaker) return true;
    chosen_.applications = applications;
    chosen_.speaker = speaker;
    StoreSetting(window_, disk_, keys::kSpeakerApplication, application ? name : std::string());
    if (!application) StoreSetting(window_, disk_, keys::kSpeakerDevice, name);
  } else {
    if (name == chosen_.microphone) return true;
    chosen_.microphone = name;
    StoreSetting(window_, disk_, keys::kMicrophoneDevice, name);
  }
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
