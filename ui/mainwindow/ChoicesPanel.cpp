#include "ChoicesPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "SettingWrites.h"
#include "StoredChoices.h"
#include "dui/WorkQueue.h"
#include "dui/Notify.h"
#include "dui/WindowImplBase.h"

namespace zav {
namespace {

void Select(QComboBox* combo, const std::optional<int>& index) {
  if (!combo || !index || *index >= combo->count()) return;
  const QSignalBlocker quiet(combo);  // showing a stored choice is not a change
  combo->setCurrentIndex(*index);
}

void Check(QCheckBox* check, bool checked) {
  if (!check) return;
  const QSignalBlocker quiet(check);
  check->setChecked(checked);
}

}  // namespace

ChoicesPanel::ChoicesPanel(WindowImplBase& window, WorkQueue* disk)
    : window_(&window),
      disk_(disk),
      source_(window.FindControl<QComboBox>(QStringLiteral("record-audio-origin"))),
      format_(window.FindControl<QComboBox>(QStringLiteral("record-audio-format"))),
      quality_(window.FindControl<QComboBox>(QStringLiteral("record-audio-quality"))),
      boost_(window.FindControl<QSlider>(QStringLiteral("mic-strengthen-slider"))),
      boostLabel_(window.FindControl<QLabel>(QStringLiteral("mic-strengthen-label"))),
      gainControl_(window.FindControl<QCheckBox>(QStringLiteral("agc-check"))),
      noiseSuppression_(window.FindControl<QCheckBox>(QStringLiteral("noise-check"))),
      echoCancellation_(window.FindControl<QCheckBox>(QStringLiteral("aec-check"))) {}

void ChoicesPanel::Show(const StoredChoices& stored) {
  if (boost_) boost_->setValue(stored.boost);
  if (boostLabel_) boostLabel_->setText(QString::number(stored.boost));
  Select(format_, stored.format);
  Select(quality_, stored.bitrateIndex);
  Select(source_, stored.source);
  Check(gainControl_, stored.gainControl);
  Check(noiseSuppression_, stored.noiseSuppression);
  Check(echoCancellation_, stored.echoCancellation);
  ShowVoiceProcessingForFormat();
}

void ChoicesPanel::ShowVoiceProcessingForFormat() {
  // A wav is recorded without voice processing: its switches are kept but have no effect.
  const bool applies = !format_ || format_->currentText() != QStringLiteral("wav");
  if (gainControl_) gainControl_->setEnabled(applies);
  if (noiseSuppression_) noiseSuppression_->setEnabled(applies);
  if (echoCancellation_) echoCancellation_->setEnabled(applies);
}

bool ChoicesPanel::Handle(const TNotifyUI& msg) {
  const QWidget* sender = msg.sender;
  const int value = static_cast<int>(msg.wParam);
  if (msg.type == kNotifyItemSelect) {
    if (sender == source_) {
      if (value >= 0 && value < kSourceCount) Store(keys::kVoiceSource, std::to_string(value));
    } else if (sender == format_) {
      if (value >= 0 && value < kFormatCount) Store(keys::kAudioFormat, std::to_string(value));
      ShowVoiceProcessingForFormat();
    } else if (sender == quality_) {
      if (value >= 0 && value < kBitrateCount) {
        Store(keys::kBitrateIndex, std::to_string(value));
        Store(keys::kBitrate, BitRateTextOfIndex(value));
      }
    } else {
      return false;
    }
    return true;
  }
  if (msg.type == kNotifyValueChanged && sender == boost_) {
    if (value >= 0 && value <= 100) {
      if (boostLabel_) boostLabel_->setText(QString::number(value));
      Store(keys::kBoost, std::to_string(value));
    }
    return true;
  }
  if (msg.type == kNotifySelectChanged) {
    std::string_view key;
    if (sender == gainControl_) {
      key = keys::kGainControl;
    } else if (sender == noiseSuppression_) {
      key = keys::kNoiseSuppression;
    } else if (sender == echoCancellation_) {
      key = keys::kEchoCancellation;
    } else {
      return false;
    }
    Store(key, msg.wParam != 0 ? "1" : "0");
    return true;
  }
  return false;
}

void ChoicesPanel::FillFormatAndBitRate(RecorderSettings* choices) const {
  choices->format = format_ ? format_->currentText().toStdString() : std::string();
  choices->bitRate = BitRateOfQualityText(quality_ ? quality_->currentText().toStdString() : std::string());
}

void ChoicesPanel::Store(std::string_view key, std::string value) { StoreSetting(window_, disk_, key, std::move(value)); }

}  // namespace zav
