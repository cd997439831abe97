#include "FeedbackDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "FeedbackRequest.h"
#include "ServiceAddress.h"
#include "TextUtil.h"
#include "dui/PromptBoxDialog.h"
#include "dui/Texts.h"

namespace zav {

namespace {

constexpr unsigned kMsgFeedbackDone = 1803;  // wParam: FeedbackOutcome

std::string Utf8Of(const QString& text) {
  return ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}

}  // namespace

FeedbackDialog::FeedbackDialog(std::string baseUrl, DesktopOpener openUrl)
    : baseUrl_(std::move(baseUrl)), openUrl_(std::move(openUrl)) {}

QString FeedbackDialog::PromptText(FeedbackOutcome outcome) {
  switch (outcome) {
    case FeedbackOutcome::kNetworkError: return QStringLiteral(QT_TRANSLATE_NOOP("Zav", "网络错误!"));
    case FeedbackOutcome::kUnknownError: return QStringLiteral(QT_TRANSLATE_NOOP("Zav", "未知错误"));
    case FeedbackOutcome::kSubmitted: return QStringLiteral(QT_TRANSLATE_NOOP("Zav", "反馈信息已提交!"));
  }
  return {};
}

void FeedbackDialog::InitWindow() {
  content_ = FindControl<QPlainTextEdit>(QStringLiteral("feedbackContent"));
  contact_ = FindControl<QLineEdit>(QStringLiteral("feedbackContact"));
  errorTips_ = FindControl<QLabel>(QStringLiteral("feedbackErrorTips"));
  SetTimer(kFocusTimer, kFocusDelayMs);
}

void FeedbackDialog::OnTimer(int id) {
  if (id != kFocusTimer) return;
  KillTimer(kFocusTimer);
  if (content_) content_->setFocus();
}

void FeedbackDialog::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender) {
    const QString name = msg.sender->objectName();
    if (name == QLatin1String("feedbackBtn")) {
      Send();
    } else if (name == QLatin1String("contact-us")) {
      openUrl_(QUrl(QString::fromStdString(HelpPageUrl(baseUrl_))));
    }
  }
  WindowImplBase::Notify(msg);
}

void FeedbackDialog::Send() {
  if (sending_ || !content_ || !contact_) return;
  const QString content = content_->toPlainText();
  if (content.isEmpty()) {
    if (errorTips_) errorTips_->setText(Tr(QStringLiteral(QT_TRANSLATE_NOOP("Zav", "反馈内容不能为空!"))));
    return;
  }
  const QString contact = contact_->text();
  if (contact.isEmpty()) {
    if (errorTips_) errorTips_->setText(Tr(QStringLiteral(QT_TRANSLATE_NOOP("Zav", "联系方式不能为空!"))));
    return;
  }
  sending_ = true;
  ShowWindow(false);
  worker_.Start("zav-feedback", [this, content = Utf8Of(content), contact = Utf8Of(contact)](const CancelToken& cancel) {
    const FeedbackOutcome outcome = SendFeedback(baseUrl_, content, contact, &cancel);
    PostMessage(kMsgFeedbackDone, static_cast<uintptr_t>(outcome));
  });
}

intptr_t FeedbackDialog::HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t, bool& handled) {
  handled = message == kMsgFeedbackDone;
  if (handled) ShowOutcome(static_cast<FeedbackOutcome>(wParam));
  return 0;
}

void FeedbackDialog::ShowOutcome(FeedbackOutcome outcome) {
  worker_.Stop();  // it has posted its outcome and is ending
  PromptBoxDialog::Show(this, PromptText(outcome), 200, 100);
  if (outcome == FeedbackOutcome::kNetworkError) {
    // The texts stay, so the user can send them again once the network is back.
    sending_ = false;
    ShowWindow(true);
    if (content_) content_->setFocus();
    return;
  }
  Close(1);
}

}  // namespace zav
