#include "VolumePanel.h"

#include <algorithm>

#include <QLabel>
#include <QSlider>

#include "SettingWrites.h"
#include "StoredChoices.h"
#include "dui/WorkQueue.h"
#include "dui/Notify.h"
#include "dui/WindowImplBase.h"
#include "pulse/MixerWrap.h"

namespace zav {
namespace {

// The whole percent of a volume read from the device; out of range shows as 0. The speaker's
// reading carries +0.5 for rounding, so full volume reads 100.5: its whole part is what
// counts, or a speaker at full volume would show as silent.
int PercentOrZero(float value) {
  if (!(value >= 0)) return 0;
  const int whole = static_cast<int>(std::min(value, 1000.0f));
  return whole <= 100 ? whole : 0;
}

}  // namespace

VolumePanel::VolumePanel(WindowImplBase* window, WorkQueue* disk)
    : window_(window),
      disk_(disk),
      micSlider_(window->FindControl<QSlider>(QStringLiteral("mic-volume-slider"))),
      micLabel_(window->FindControl<QLabel>(QStringLiteral("mic-volume-label"))),
      sysSlider_(window->FindControl<QSlider>(QStringLiteral("sys-volume-slider"))),
      sysLabel_(window->FindControl<QLabel>(QStringLiteral("sys-volume-label"))),
      sound_(std::make_unique<WorkQueue>("zav-volumes")) {}

VolumePanel::~VolumePanel() {
  // A volume the user set still reaches the device; reads nobody will see are dropped.
  sound_->Stop(WorkQueue::Pending::kRun);
}

void VolumePanel::Load() {
  loading_ = true;
  sound_->Post([this] {
    int mic = 0;  // stays 0 without a microphone
    GetMicrophoneVolume(&mic);
    float sys = 0;  // stays 0 without a speaker, or at zero volume
    GetSpeakerVolume(&sys);
    window_->PostTask([this, mic, sys] {
      Show(micSlider_, micLabel_, PercentOrZero(static_cast<float>(mic)));
      Show(sysSlider_, sysLabel_, PercentOrZero(sys));
      loading_ = false;
    });
  });
}

void VolumePanel::Show(QSlider* slider, QLabel* label, int percent) {
  if (slider) slider->setValue(percent);  // silent: showing a volume does not set it
  if (label) label->setText(QString::number(percent));
}

bool VolumePanel::Handle(const TNotifyUI& msg) {
  if (msg.type != kNotifyValueChanged || (msg.sender != micSlider_ && msg.sender != sysSlider_)) return false;
  const int percent = static_cast<int>(msg.wParam);
  if (percent < 0 || percent > 100) return true;
  if (msg.sender == micSlider_) {
    if (micLabel_) micLabel_->setText(QString::number(percent));
    SetLater(&wantedMic_, percent, [](int p) { SetMicrophoneVolume(false, static_cast<float>(p)); });
    StoreSetting(window_, disk_, keys::kMicrophoneVolume, std::to_string(percent));
  } else {
    if (sysLabel_) sysLabel_->setText(QString::number(percent));
    SetLater(&wantedSys_, percent, [](int p) { SetSpeakerVolume(static_cast<float>(p)); });
    StoreSetting(window_, disk_, keys::kSystemVolume, std::to_string(percent));
  }
  return true;
}

void VolumePanel::SetLater(Wanted* wanted, int percent, void (*set)(int)) {
  {
    std::lock_guard lock(wanted->mutex);
    const bool queued = wanted->percent.has_value();
    wanted->percent = percent;
    if (queued) return;  // the queued job will set this newer value
  }
  sound_->Post([wanted, set] {
    int latest = 0;
    {
      std::lock_guard lock(wanted->mutex);
      latest = *wanted->percent;
      wanted->percent.reset();
    }
    set(latest);
  });
}

}  // namespace zav
