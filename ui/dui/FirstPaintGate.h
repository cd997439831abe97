#pragma once
// FirstPaintGate: holds work for a widget back until the widget has been drawn once, so that a
// window first shows itself and then fills in. Rows that arrive from a worker as fast as it
// reads a folder would otherwise all be added before the window's first paint: the event loop
// takes the posted work before the window system's request to draw.
//
// The gate opens at the widget's first paint, when work comes while the widget's window is not
// on screen (hidden, in the tray, minimised: nothing is drawn, so nothing is held), or after
// kLongestHoldMs in any case. Work held back then runs kTurnMs at a time with a turn of the
// event loop between, so that the window answers, in the order it came and before any later
// work. Once open it stays open. UI thread only.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <deque>
#include <functional>

namespace zav {

class FirstPaintGate : public QObject {
 public:
  static constexpr int kLongestHoldMs = 500;
  static constexpr int kTurnMs = 10;  // held work run between turns of the event loop

  // widget: the one whose first paint opens the gate (may be null: open from the start).
  explicit FirstPaintGate(QWidget* widget);
  ~FirstPaintGate() override;

  // Runs work now, or once the gate opens.
  void Run(std::function<void()> work);
  bool open() const { return open_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Open();
  void RunNextHeld();

  QPointer<QWidget> widget_;
  bool opening_ = false;  // held work runs, a turn of the event loop at a time
  bool open_ = false;
  std::deque<std::function<void()>> held_;
};

}  // namespace zav
