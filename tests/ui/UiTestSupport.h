#pragma once
// Shared helpers of the ui tests.

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

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

// While it lives, answers every modal box that comes up (a prompt or message box of the skin by
// "msgConfirm", a system message box by its OK button) and notes the texts in order.
class ModalBoxAnswerer {
 public:
  ModalBoxAnswerer() {
    timer_.callOnTimeout([this] { AnswerOpenBox(); });
    timer_.start(10);
  }
  QStringList texts;

 private:
  void AnswerOpenBox() {
    QWidget* box = QApplication::activeModalWidget();
    if (!box || !box->isVisible() || box->property("zavAnswered").toBool()) return;
    if (auto* message = qobject_cast<QMessageBox*>(box)) {
      box->setProperty("zavAnswered", true);
      texts << message->text();
      if (QAbstractButton* ok = message->button(QMessageBox::Ok)) ok->click();
      return;
    }
    auto* confirm = box->findChild<QAbstractButton*>(QStringLiteral("msgConfirm"));
    if (!confirm) return;
    box->setProperty("zavAnswered", true);
    auto* text = box->findChild<QLabel*>(QStringLiteral("msgText"));
    texts << (text ? text->text() : QString());
    confirm->click();
  }
  QTimer timer_;
};

}  // namespace zav::test
