#include "SliderNotifier.h"

#include <QAbstractSlider>
#include <QEvent>

namespace zav {

SliderNotifier::SliderNotifier(QAbstractSlider* slider, std::function<void(int)> notify)
    : QObject(slider), slider_(slider), notify_(std::move(notify)) {
  connect(slider, &QAbstractSlider::actionTriggered, this, [this](int) { OnAction(); });
  connect(slider, &QAbstractSlider::valueChanged, this, &SliderNotifier::OnValueChanged);
  slider->installEventFilter(this);
}

void SliderNotifier::OnAction() {
  // actionTriggered comes before the slider applies its new position.
  actionPending_ = true;
  actionTarget_ = slider_->sliderPosition();
}

void SliderNotifier::OnValueChanged(int value) {
  // An action that did not move the value (a step at the end) leaves actionPending_ set, but
  // its target is then the current value, which a later change from code cannot equal.
  const bool fromUser = actionPending_ && value == actionTarget_;
  actionPending_ = false;
  if (!fromUser) return;
  if (held_) {
    changedWhileHeld_ = true;
    return;
  }
  notify_(value);
}

void SliderNotifier::NotifyHeldChange() {
  if (!changedWhileHeld_) return;
  changedWhileHeld_ = false;
  notify_(slider_->value());
}

bool SliderNotifier::eventFilter(QObject* watched, QEvent* event) {
  if (watched == slider_) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      held_ = true;
    } else if (event->type() == QEvent::MouseButtonRelease && held_) {
      // The slider has not seen the release yet: a slider without tracking applies the dragged
      // position while handling it, and that change, made with held_ false, notifies itself.
      held_ = false;
      NotifyHeldChange();
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace zav
