// Every text of every window and box fits the control that shows it, in English and in Chinese,
// at the skin's font: the skins' own texts, the texts the code puts into them (the recorder's
// states, the job states in a job row) and every prompt at the size it is shown at.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QTranslator>

#include "JobTime.h"
#include "Translation.h"
#include "SkinWindow.h"
#include "UiTestSupport.h"
#include "dui/DialogBuilder.h"
#include "dui/MessageBoxDialog.h"
#include "dui/PromptBoxDialog.h"
#include "dui/Skin.h"
#include "dui/Texts.h"
#include "dui/WindowImplBase.h"
#include "jobs/CronJobDialog.h"
#include "jobs/NewCronJobDialog.h"
#include "mainwindow/RecordingPrompts.h"
#include "online/DownloadDialog.h"
#include "settings/SetingDialog.h"

namespace zav::test {
namespace {

// The controls of root whose text does not fit them: "<control>: <text>".
QStringList CutTexts(QWidget* root, const QString& where) {
  QStringList cut;
  for (QLabel* label : root->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(root) || label->text().isEmpty() || !label->pixmap().isNull()) continue;
    const QRect room = label->contentsRect();
    const bool fits = label->wordWrap()
                          ? label->heightForWidth(room.width()) <= room.height()
                          : label->fontMetrics().horizontalAdvance(label->text()) <= room.width();
    if (!fits)
      cut << QStringLiteral("%1/%2: %3 (%4 px wide, room for %5)")
                 .arg(where, label->objectName(), label->text())
                 .arg(label->fontMetrics().horizontalAdvance(label->text()))
                 .arg(room.width());
  }
  for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(root) || button->text().isEmpty()) continue;
    if (button->sizeHint().width() > button->width())
      cut << QStringLiteral("%1/%2: %3 (needs %4 px, has %5)")
                 .arg(where, button->objectName(), button->text())
                 .arg(button->sizeHint().width())
                 .arg(button->width());
  }
  for (QComboBox* combo : root->findChildren<QComboBox*>()) {
    if (combo->isVisibleTo(root) && combo->sizeHint().width() > combo->width())
      cut << QStringLiteral("%1/%2: %3 (needs %4 px, has %5)")
                 .arg(where, combo->objectName(), combo->currentText())
                 .arg(combo->sizeHint().width())
                 .arg(combo->width());
  }
  return cut;
}

QStringList CutTextsOfWindow(WindowImplBase* window, const QString& where) {
  window->ShowWindow();
  WaitUntil([&] { return window->isVisible(); }, 2000);
  QCoreApplication::processEvents();
  return CutTexts(window, where);
}

// A row of skin, built into a window of the width its list gives it, with texts set.
QStringList CutTextsOfRow(const QString& listSkin, const QString& listName, const QString& rowSkin,
                          const std::vector<std::pair<QString, QString>>& texts) {
  auto* window = new SkinWindow(listSkin);
  EXPECT_TRUE(window->Create(nullptr, listSkin));
  auto* list = window->FindControl<QListWidget>(listName);
  CDialogBuilder builder;
  QWidget* row = builder.Create(rowSkin, window, window);
  if (!list || !row) return {rowSkin + ": cannot be built"};
  for (const auto& [name, text] : texts) {
    if (auto* label = qobject_cast<QLabel*>(FindSubControl(row, name))) label->setText(text);
  }
  auto* item = new QListWidgetItem(list);
  item->setSizeHint(QSize(0, row->minimumHeight()));
  list->setItemWidget(item, row);
  window->ShowWindow();
  QCoreApplication::processEvents();
  const QStringList cut = CutTexts(row, rowSkin);
  window->DestroyWindow();
  return cut;
}

// The box that Show would show, laid out and checked before it runs its loop.
template <typename Box>
QStringList CutTextsOfBox(Box* box, const QString& text) {
  EXPECT_TRUE(box->Create(nullptr, QStringLiteral("box")));
  box->ShowWindow();
  QCoreApplication::processEvents();
  const QStringList cut = CutTexts(box, Tr(text));
  box->DestroyWindow();
  return cut;
}

class TextFitTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    QString error;
    ASSERT_TRUE(LoadSkinResources(SourceSkinFolder(), &error)) << error.toStdString();
    ASSERT_FALSE(InstallTranslation(qApp, QStringLiteral(ZAV_TRANSLATIONS_DIR), {QString::fromLatin1(GetParam())})
                     .isEmpty());
  }
  void TearDown() override {
    for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
      QCoreApplication::removeTranslator(t);
      delete t;
    }
    qApp->setStyleSheet({});
  }
};

TEST_P(TextFitTest, EveryTextFitsItsControl) {
  QStringList cut;
  for (const char* skin : {"MainWindow.xml", "HotkeyDialog.xml", "Seting.xml", "CronJobDialog.xml",
                           "NewCronJobDialog.xml", "Feedback.xml", "download.xml", "MainTaskMenu.xml"}) {
    auto* window = new SkinWindow(QString::fromLatin1(skin));
    ASSERT_TRUE(window->Create(nullptr, QString::fromLatin1(skin))) << skin;
    cut << CutTextsOfWindow(window, QString::fromLatin1(skin));
    // What the main window shows of the recorder.
    if (auto* info = window->FindControl<QLabel>(QStringLiteral("recorder-info"))) {
      for (const char* state : {"准备录音", "正在录音", "暂停录音"}) {
        info->setText(Tr(QString::fromUtf8(state)));
        cut << CutTexts(window, QString::fromLatin1(skin));
      }
    }
    // What the new-job dialog says of wrong input.
    if (auto* tips = window->FindControl<QLabel>(QStringLiteral("error-tips"))) {
      for (const QString& text : {kEmptyJobNameText, kBadJobTimesText}) {
        tips->setText(Tr(text));
        cut << CutTexts(window, QString::fromLatin1(skin));
      }
    }
    window->DestroyWindow();
  }
  for (JobState state : {JobState::kNotStarted, JobState::kDone, JobState::kExpired, JobState::kRecording}) {
    cut << CutTextsOfRow(QStringLiteral("CronJobDialog.xml"), QStringLiteral("cron-job-list"),
                         QStringLiteral("CronJobListContainerElement.xml"),
                         {{QStringLiteral("cron-job-name"), QStringLiteral("Weekly")},
                          {QStringLiteral("status"), Tr(std::string_view(JobStateText(state)))}});
  }
  cut << CutTextsOfRow(QStringLiteral("MainWindow.xml"), QStringLiteral("audio-record-list"),
                       QStringLiteral("RecorderListContainerElement.xml"),
                       {{QStringLiteral("fileSizeLabel"), QStringLiteral("912.00KB")},
                        {QStringLiteral("durationLabel"), QStringLiteral("00:00:59")}});

  // Every prompt at the size it is shown at, and the questions.
  std::vector<Prompt> prompts = {PromptForFault(RecordingFault::kWriteFailed), PromptForFault(RecordingFault::kFileGone),
                                 PromptForFault(RecordingFault::kEncodeFailed), PromptForFault(RecordingFault::kAheadOfClock),
                                 PromptForFault(RecordingFault::kMicrophoneFailed), PromptForEmptyRecording(),
                                 Prompt{kInstallerUnverifiedText, 250, 100}, Prompt{kInstallerBadChecksumText, 250, 100},
                                 Prompt{kJobNotSavedText}, Prompt{kAutostartNotSetText}};
  for (StartResult result : {StartResult::kStartedWithoutMicrophone, StartResult::kNoOutputDevice,
                             StartResult::kNoMicrophone, StartResult::kFolderNotWritable, StartResult::kInitFailed,
                             StartResult::kNothingWritten}) {
    prompts.push_back(*PromptForStart(result));
  }
  FinishReport lost;
  lost.microphoneLost = lost.systemSoundLost = true;
  prompts.push_back(*PromptForLostDevices(lost));
  StartReport standIn;
  standIn.microphoneStoodIn = standIn.outputStoodIn = true;
  prompts.push_back(*PromptForStandIn(standIn));
  for (const Prompt& prompt : prompts) cut << CutTextsOfBox(new PromptBoxDialog(prompt.text, prompt.width, prompt.height), prompt.text);
  for (const QString& question : {kOfferAutostartText, Tr(QStringLiteral("确定要删除文件“%1”吗?")).arg(QStringLiteral("新录音-20261208103000.mp3"))})
    cut << CutTextsOfBox(new MessageBoxDialog(question), question);
  EXPECT_TRUE(cut.isEmpty()) << cut.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, TextFitTest, ::testing::Values("en-GB", "zh-CN"));

}  // namespace
}  // namespace zav::test
