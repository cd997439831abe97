#include "FirstPaintGate.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <utility>

namespace zav {

FirstPaintGate::FirstPaintGate(QWidget* widget) : widget_(widget) {
  if (widget) {
    widget->installEventFilter(this);
  } else {
    open_ = true;
  }
}

FirstPaintGate::~FirstPaintGate() {
  if (widget_) widget_->removeEventFilter(this);
}

void FirstPaintGate::Run(std::function<void()> work) {
  if (opening_ && !open_) {
    held_.push_back(std::move(work));
    return;
  }
  if (!open_) {
    const QWidget* window = widget_ ? widget_->window() : nullptr;
    if (window && window->isVisible() && !window->isMinimized()) {
      if (held_.empty()) QTimer::singleShot(kLongestHoldMs, this, [this] { Open(); });
      held_.push_back(std::move(work));
      return;
    }
    if (!held_.empty()) {  // hidden before its first paint: what waits goes first
      held_.push_back(std::move(work));
      Open();
      return;
    }
    open_ = true;
    if (widget_) widget_->removeEventFilter(this);
  }
  work();
}

bool FirstPaintGate::eventFilter(QObject* watched, QEvent* event) {
  // Opened after the paint has been handled, so that the first frame goes out first.
  if (event->type() == QEvent::Paint && !opening_ && !open_) QTimer::singleShot(0, this, [this] { Open(); });
  return QObject::eventFilter(watched, event);
}

void FirstPaintGate::Open() {
  if (opening_ || open_) return;
  opening_ = true;
  if (widget_) widget_->removeEventFilter(this);
  RunNextHeld();
}

void FirstPaintGate::RunNextHeld() {
  // Pieces for up to kTurnMs, then a turn of the event loop, so that the window answers.
  QElapsedTimer turn;
  turn.start();
  while (!held_.empty() && turn.elapsed() < kTurnMs) {
    const std::function<void()> work = std::move(held_.front());
    held_.pop_front();
    work();
  }
  if (held_.empty()) {
    open_ = true;
    return;
  }
  QTimer::singleShot(0, this, [this] { RunNextHeld(); });
}

}  // namespace zav
