#pragma once
// The recorder's keys inside the main window: Ctrl+R on the start/pause button (start, pause,
// resume: whichever of the two is shown), Ctrl+S on the stop button, and Space, when the
// focused control has no use for it, toggles the recording as the start/pause hotkey does.
// A focused button, check box, combo box, list or text field keeps its own Space. The object
// belongs to the window. UI thread only.

#include <QKeySequence>
#include <QObject>

#include <functional>

namespace zav {

class WindowImplBase;

class RecorderKeys : public QObject {
  Q_OBJECT

 public:
  static inline const QKeySequence kStartPauseKey{Qt::CTRL | Qt::Key_R};
  static inline const QKeySequence kStopKey{Qt::CTRL | Qt::Key_S};

  RecorderKeys(WindowImplBase* window, std::function<void()> toggle);

  // True when a focused control of this kind takes Space itself.
  static bool KeepsSpace(const QWidget* focused);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  WindowImplBase* window_;
  std::function<void()> toggle_;
};

}  // namespace zav
