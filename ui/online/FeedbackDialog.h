#pragma once
// FeedbackDialog: skin "Feedback.xml". The user's comment ("feedbackContent") and contact
// ("feedbackContact") go to the vendor service; "contact-us" opens the help page.
// While the request runs on a worker the dialog is hidden; the outcome is then shown in a
// prompt box and the dialog closes with 1, except after a network error: it then comes back
// with the texts as they were typed.
//
// UI thread; the worker reaches the window only through a posted message. Deletes itself.

#include <string>

#include "DesktopOpener.h"
#include "NetWorker.h"
#include "dui/WindowImplBase.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace zav {

enum class FeedbackOutcome;

class FeedbackDialog : public WindowImplBase {
  Q_OBJECT

 public:
  static inline const QString kCaption = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "意见反馈"));
  static constexpr int kFocusTimer = 1008;
  static constexpr int kFocusDelayMs = 100;

  FeedbackDialog(std::string baseUrl, DesktopOpener openUrl);

  static QString PromptText(FeedbackOutcome outcome);

 protected:
  QString GetWindowClassName() const override { return kCaption; }
  QString GetSkinFile() override { return QStringLiteral("Feedback.xml"); }
  void InitWindow() override;
  void OnTimer(int id) override;
  void Notify(TNotifyUI& msg) override;
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) override;
  void OnFinalMessage() override { delete this; }

 private:
  void Send();
  void ShowOutcome(FeedbackOutcome outcome);

  const std::string baseUrl_;
  const DesktopOpener openUrl_;
  QPlainTextEdit* content_ = nullptr;
  QLineEdit* contact_ = nullptr;
  QLabel* errorTips_ = nullptr;
  bool sending_ = false;
  NetWorker worker_;  // last: cancelled and joined before anything above goes away
};

}  // namespace zav
