#pragma once
// Shared helpers of the ui tests.

#include <QApplication>
#include <QDeadlineTimer>
#include <QString>

#include <functional>

namespace zav::test {

inline QString SourceSkinFolder() { return QStringLiteral(ZAV_SKIN_SOURCE_DIR); }
inline QString TestSkinFolder() { return QStringLiteral(ZAV_TEST_SKIN_DIR); }

// Processes events until done() holds or timeoutMs pass. Returns done().
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace zav::test
