#pragma once
// Turns a slider's user changes into one notification each: when a drag or a held press on the
// groove ends, and once per keyboard step or wheel turn. A value set from code (setValue,
// setRange clamping) never notifies, so a window can show a value without writing it back.

#include <QObject>

#include <functional>

class QAbstractSlider;

namespace zav {

class SliderNotifier : public QObject {
  Q_OBJECT

 public:
  // notify(value) runs on the slider's thread. The notifier is a child of the slider.
  SliderNotifier(QAbstractSlider* slider, std::function<void(int)> notify);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnAction();
  void OnValueChanged(int value);
  void NotifyHeldChange();

  QAbstractSlider* slider_;
  std::function<void(int)> notify_;
  // The slider runs an action (a user's step, drag or wheel turn) and then sets the value the
  // action computed; a value change that follows no action came from code.
  bool actionPending_ = false;
  int actionTarget_ = 0;
  bool held_ = false;              // a mouse button is down on the slider
  bool changedWhileHeld_ = false;  // notify once when it is released
};

}  // namespace zav
