#pragma once
// Drives the modal windows that code under test shows: notes each window that becomes the
// application's modal one (by its window class, the object name) and runs the action given
// for that class on it, every 10 ms, until the action reports that it is done.

#include <QApplication>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>

namespace zav::test {

class ModalWatcher {
 public:
  // True when done with the window.
  using Action = std::function<bool(QWidget* window)>;

  ModalWatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(10);
  }

  void On(const QString& windowClass, Action action) { actions_[windowClass] = std::move(action); }
  const QStringList& Seen() const { return seen_; }

 private:
  void Tick() {
    QWidget* window = QApplication::activeModalWidget();
    if (!window || window == done_.data()) return;
    if (window != current_.data()) {
      current_ = window;
      seen_ << window->objectName();
    }
    const auto action = actions_.find(window->objectName());
    if (action == actions_.end() || action->second(window)) done_ = window;
  }

  QTimer timer_;
  std::map<QString, Action> actions_;
  QStringList seen_;
  QPointer<QWidget> current_;
  QPointer<QWidget> done_;
};

// Clicks the named button of window; false when there is none.
inline bool ClickButton(QWidget* window, const char* name) {
  auto* button = window->findChild<QAbstractButton*>(QLatin1String(name));
  if (button) button->click();
  return button != nullptr;
}

}  // namespace zav::test
