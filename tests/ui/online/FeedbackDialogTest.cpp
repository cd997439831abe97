// The feedback dialog against the stand-in service: the checks of its fields, the texts on
// the wire, the prompt of each outcome, the help page and the first focus.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <json/json.h>

#include "ModalWatcher.h"
#include "RawHttpServer.h"
#include "UiTestSupport.h"
#include "VendorService.h"
#include "dui/DialogPattern.h"
#include "dui/Skin.h"
#include "online/FeedbackDialog.h"
#include "online/OnlineServices.h"

namespace zav {
namespace {

using test::ClickButton;
using test::ModalWatcher;

const QString kPromptBox = QStringLiteral("PromptBoxDialog");

template <typename T>
T* Control(QWidget* window, const char* name) {
  return window->findChild<T*>(QLatin1String(name));
}

QString Tips(QWidget* dialog) { return Control<QLabel>(dialog, "feedbackErrorTips")->text(); }

class FeedbackDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSkinFolder(test::SourceSkinFolder());
    ASSERT_TRUE(service_.Start());
  }

  // Fills the dialog in, sends, and returns the text of the prompt that follows.
  QString SendThrough(const std::string& baseUrl, const QString& content, const QString& contact) {
    ModalWatcher watcher;
    watcher.On(FeedbackDialog::kCaption, [&](QWidget* dialog) {
      Control<QPlainTextEdit>(dialog, "feedbackContent")->setPlainText(content);
      Control<QLineEdit>(dialog, "feedbackContact")->setText(contact);
      return ClickButton(dialog, "feedbackBtn");
    });
    QString prompt;
    watcher.On(kPromptBox, [&](QWidget* box) {
      prompt = Control<QLabel>(box, "msgText")->text();
      return ClickButton(box, "msgConfirm");
    });
    EXPECT_EQ(ShowDialog(new FeedbackDialog(baseUrl, [](const QUrl&) { return true; }), nullptr), 1);
    return prompt;
  }

  tools::VendorService service_;
};

TEST_F(FeedbackDialogTest, EmptyFieldsAreRefusedAndTextsReachTheServiceAsEscapedUtf8) {
  const QString comment = QStringLiteral("录音没有声音 🎵");
  ModalWatcher watcher;
  QStringList tips;
  size_t requestsWhileRefused = 0;
  watcher.On(FeedbackDialog::kCaption, [&](QWidget* dialog) {
    ClickButton(dialog, "feedbackBtn");
    tips << Tips(dialog);
    Control<QLineEdit>(dialog, "feedbackContact")->setText(QStringLiteral("qq"));
    ClickButton(dialog, "feedbackBtn");
    tips << Tips(dialog);
    Control<QLineEdit>(dialog, "feedbackContact")->clear();
    Control<QPlainTextEdit>(dialog, "feedbackContent")->setPlainText(comment);
    ClickButton(dialog, "feedbackBtn");
    tips << Tips(dialog);
    requestsWhileRefused = service_.Requests().size();
    Control<QLineEdit>(dialog, "feedbackContact")->setText(QStringLiteral(" "));  // not trimmed: accepted
    return ClickButton(dialog, "feedbackBtn");
  });
  QString prompt;
  bool dialogHiddenMeanwhile = false;
  watcher.On(kPromptBox, [&](QWidget* box) {
    prompt = Control<QLabel>(box, "msgText")->text();
    dialogHiddenMeanwhile = !box->parentWidget()->isVisible();
    return ClickButton(box, "msgConfirm");
  });
  OnlineServices services(nullptr, service_.BaseUrl(), {});
  services.ShowFeedback();

  EXPECT_EQ(tips, (QStringList{QStringLiteral("反馈内容不能为空!"), QStringLiteral("反馈内容不能为空!"),
                               QStringLiteral("联系方式不能为空!")}));
  EXPECT_EQ(requestsWhileRefused, 0u);
  EXPECT_EQ(prompt, QStringLiteral("反馈信息已提交!"));
  EXPECT_TRUE(dialogHiddenMeanwhile);

  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& body = requests[0].body;
  EXPECT_TRUE(std::all_of(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
  EXPECT_NE(body.find("\\u5f55\\u97f3"), std::string::npos) << body;  // 录音
  Json::Value sent;
  ASSERT_TRUE(Json::Reader().parse(body, sent));
  EXPECT_EQ(sent["content"].asString(), comment.toStdString());
  EXPECT_EQ(sent["contact"].asString(), " ");
}

TEST_F(FeedbackDialogTest, EachOutcomeShowsItsPrompt) {
  tools::VendorAnswers refusing;
  refusing.ret = 1;
  service_.SetAnswers(refusing);
  EXPECT_EQ(SendThrough(service_.BaseUrl(), QStringLiteral("a"), QStringLiteral("b")), QStringLiteral("未知错误"));
}

// The user can send again later without typing it all again.
TEST_F(FeedbackDialogTest, ANetworkErrorKeepsTheFormOpenWithItsTexts) {
  test::RefusingPort unreachable;
  const QString comment = QStringLiteral("录音没有声音\n第二行");
  ModalWatcher watcher;
  QString prompt;
  QString contentAfter, contactAfter;
  bool sent = false;
  watcher.On(FeedbackDialog::kCaption, [&](QWidget* dialog) {
    if (!sent) {
      Control<QPlainTextEdit>(dialog, "feedbackContent")->setPlainText(comment);
      Control<QLineEdit>(dialog, "feedbackContact")->setText(QStringLiteral("qq 12345"));
      sent = ClickButton(dialog, "feedbackBtn");
      return false;
    }
    if (prompt.isEmpty() || !dialog->isVisible()) return false;
    contentAfter = Control<QPlainTextEdit>(dialog, "feedbackContent")->toPlainText();
    contactAfter = Control<QLineEdit>(dialog, "feedbackContact")->text();
    dialog->close();
    return true;
  });
  watcher.On(kPromptBox, [&](QWidget* box) {
    prompt = Control<QLabel>(box, "msgText")->text();
    return ClickButton(box, "msgConfirm");
  });
  EXPECT_EQ(ShowDialog(new FeedbackDialog(unreachable.BaseUrl(), [](const QUrl&) { return true; }), nullptr), 0);
  EXPECT_EQ(prompt, QStringLiteral("网络错误!"));
  EXPECT_EQ(contentAfter, comment);
  EXPECT_EQ(contactAfter, QStringLiteral("qq 12345"));
}

TEST_F(FeedbackDialogTest, CommentGetsTheFocusAndContactUsOpensTheHelpPage) {
  std::vector<QUrl> opened;
  ModalWatcher watcher;
  bool stayedOpen = false;
  watcher.On(FeedbackDialog::kCaption, [&](QWidget* dialog) {
    if (!Control<QPlainTextEdit>(dialog, "feedbackContent")->hasFocus()) return false;
    ClickButton(dialog, "contact-us");
    stayedOpen = dialog->isVisible();
    dialog->close();
    return true;
  });
  const int result = ShowDialog(new FeedbackDialog(service_.BaseUrl(), [&](const QUrl& url) {
                                  opened.push_back(url);
                                  return true;
                                }),
                                nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(opened, std::vector<QUrl>{QUrl(QString::fromStdString(service_.BaseUrl() + "/help"))});
  EXPECT_TRUE(service_.Requests().empty());
}

}  // namespace
}  // namespace zav
