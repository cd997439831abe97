#pragma once
// SIGTERM, SIGINT and SIGHUP (log-out, kill, Ctrl+C) become one call of onSignal on the UI
// thread, so the program can close its window and end like a normal quit.

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace zav {

class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
  ~TerminationSignals() override;  // restores the default handlers

 private:
  std::function<void()> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace zav
