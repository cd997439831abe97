// The job list and the new-job dialog as real windows: a job typed in the new-job dialog
// travels as message 1729 to the list, reaches the file and gets its row; rows remove their
// own job; stored jobs are listed with their states; wrong input is refused.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "Autostart.h"
#include "JobDocument.h"
#include "UiTestSupport.h"
#include "dui/ControlTag.h"
#include "dui/DialogBuilder.h"
#include "dui/Skin.h"
#include "dui/WorkQueue.h"
#include "jobs/CronJobDialog.h"
#include "jobs/NewCronJobDialog.h"

namespace zav {
namespace {

std::string ReadJobFile() {
  std::ifstream in(DefaultJobFilePath(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<StoredJob> StoredJobs() { return ReadJobDocument(ReadJobFile()).value_or(std::vector<StoredJob>{}); }

void Click(QWidget* window, const QString& name) {
  auto* button = window->findChild<QPushButton*>(name);
  ASSERT_NE(button, nullptr) << name.toStdString();
  button->click();
}

void Type(QWidget* window, const char* name, const QString& text) {
  auto* edit = window->findChild<QLineEdit*>(QLatin1String(name));
  ASSERT_NE(edit, nullptr) << name;
  edit->setText(text);
}

QString LabelText(QWidget* row, const char* name) {
  auto* label = qobject_cast<QLabel*>(FindSubControl(row, QLatin1String(name)));
  return label ? label->text() : QStringLiteral("<missing>");
}

// Types a job into the new-job dialog that the next modal run shows, and saves it.
void EnterNextJob(const QString& name, const QString& start, const QString& end, bool record = false) {
  QTimer::singleShot(0, [=] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    Type(dialog, "cron-job-name", name);
    Type(dialog, "start-time", start);
    Type(dialog, "end-time", end);
    auto* recordBox = dialog->findChild<QCheckBox*>(QStringLiteral("cron-job-record"));
    ASSERT_NE(recordBox, nullptr);
    EXPECT_TRUE(recordBox->isChecked()) << "a new job records unless the user says otherwise";
    recordBox->setChecked(record);
    Click(dialog, QStringLiteral("cron-job-save-btn"));
  });
}

// Stands in for the job list: keeps the jobs that arrive as message 1729.
class JobReceiver : public WindowImplBase {
 public:
  std::vector<CronJob> jobs;

 protected:
  QString GetSkinFile() override { return QStringLiteral("CronJobDialog.xml"); }
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t, bool& handled) override {
    handled = message == kNewCronJobMessage;
    if (handled) jobs.push_back(*std::unique_ptr<CronJob>(reinterpret_cast<CronJob*>(wParam)));
    return 0;
  }
};

class JobDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSkinFolder(test::SourceSkinFolder());
    std::filesystem::remove(DefaultJobFilePath());
  }

  void TearDown() override {
    if (list_) list_->Close();
    EXPECT_TRUE(test::WaitUntil([this] { return list_.isNull(); }));
  }

  CronJobDialog* OpenList() {
    auto* dialog = new CronJobDialog(disk_);
    list_ = dialog;
    EXPECT_TRUE(dialog->Create(nullptr, QStringLiteral("定时任务")));
    dialog->ShowWindow();
    return dialog;
  }

  QWidget* Row(int id) const { return list_ ? list_->FindControl(QStringLiteral("item-%1").arg(id)) : nullptr; }
  QListWidget* Rows() const { return list_->FindControl<QListWidget>(QStringLiteral("cron-job-list")); }
  int RowCount() const { return Rows()->count(); }
  QWidget* RowAt(int index) const { return Rows()->itemWidget(Rows()->item(index)); }

  // Clicks "删除" on the row at index and waits until that row has gone.
  void RemoveRowAt(int index) {
    QWidget* row = RowAt(index);
    ASSERT_NE(row, nullptr) << index;
    const int before = RowCount();
    Click(row, QStringLiteral("cron-job-remove"));
    ASSERT_TRUE(test::WaitUntil([&] { return RowCount() == before - 1; }));
  }

  // The names of the jobs in the file and those shown, in order.
  std::vector<std::string> StoredNames() const {
    std::vector<std::string> names;
    for (const StoredJob& stored : StoredJobs()) names.push_back(stored.job.cronJobName);
    return names;
  }
  std::vector<std::string> ShownNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < RowCount(); ++i) names.push_back(LabelText(RowAt(i), "cron-job-name").toStdString());
    return names;
  }

  WorkQueue disk_{"zav-test-settings"};
  QPointer<CronJobDialog> list_;
};

TEST_F(JobDialogsTest, AJobEnteredInTheNewJobDialogIsStoredListedAndRemovedByItsRow) {
  CronJobDialog* list = OpenList();
  EnterNextJob(QStringLiteral("  每周例会 "), QStringLiteral("2037-12-31 09:30:00"), QStringLiteral("2037-12-31 10:30:00"));
  Click(list, QStringLiteral("new-cron-job-btn"));
  ASSERT_TRUE(test::WaitUntil([this] { return Row(1) != nullptr; }));
  QWidget* row = Row(1);
  EXPECT_EQ(GetTag(row), 1);
  EXPECT_EQ(LabelText(row, "cron-job-name"), QStringLiteral("每周例会"));
  EXPECT_EQ(LabelText(row, "starttime"), QStringLiteral("2037-12-31 09:30:00"));
  EXPECT_EQ(LabelText(row, "endtime"), QStringLiteral("2037-12-31 10:30:00"));
  EXPECT_EQ(LabelText(row, "status"), QStringLiteral("未开始"));
  ASSERT_EQ(StoredJobs().size(), 1u);
  EXPECT_EQ(StoredJobs()[0].job.cronJobName, "每周例会");
  EXPECT_FALSE(StoredJobs()[0].job.record);

  // Its row's box makes it record; the program does not start with the desktop, so the list
  // offers it, and a yes writes the autostart entry, which starts the program in the tray.
  auto* record = qobject_cast<QCheckBox*>(FindSubControl(row, QStringLiteral("cron-job-record")));
  ASSERT_NE(record, nullptr);
  EXPECT_FALSE(record->isChecked());
  std::filesystem::remove(AutostartEntryPath());
  {
    test::ModalBoxAnswerer answerer;
    record->click();
    ASSERT_TRUE(test::WaitUntil([&] { return !answerer.texts.isEmpty(); }));
    EXPECT_EQ(answerer.texts, QStringList{kOfferAutostartText});
  }
  ASSERT_TRUE(test::WaitUntil([] { return std::filesystem::exists(AutostartEntryPath()); }));
  EXPECT_TRUE(StoredJobs()[0].job.record);
  std::ifstream entry(AutostartEntryPath());
  const std::string entryText((std::istreambuf_iterator<char>(entry)), std::istreambuf_iterator<char>());
  EXPECT_NE(entryText.find(" --hidden\n"), std::string::npos) << entryText;

  // A start already past is accepted and shows as expired at once.
  EnterNextJob(QStringLiteral("晨读"), QStringLiteral("2020-01-01 07:00:00"), QStringLiteral("2020-01-01 07:00:01"),
               true);
  Click(list, QStringLiteral("new-cron-job-btn"));
  ASSERT_TRUE(test::WaitUntil([this] { return Row(2) != nullptr; }));
  EXPECT_EQ(LabelText(Row(2), "status"), QStringLiteral("已失效"));

  auto* remove = qobject_cast<QPushButton*>(FindSubControl(Row(1), QStringLiteral("cron-job-remove")));
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(GetTag(remove), 1);
  remove->click();
  ASSERT_TRUE(test::WaitUntil([this] { return Row(1) == nullptr; }));
  EXPECT_EQ(RowCount(), 1);
  const std::vector<StoredJob> stored = StoredJobs();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].cronJobId, 2);
}

TEST_F(JobDialogsTest, StoredJobsAreListedWithTheirStatesAndClearThenAddContinuesTheNumbering) {
  std::ofstream(DefaultJobFilePath()) << R"({"list": [
    {"cronJobId": 1, "cronJobName": "done", "starttime": "2037-12-31 09:30:00", "endtime": "2037-12-31 10:00:00", "status": 1},
    {"cronJobId": 2, "cronJobName": "<b>past</b>", "starttime": "2020-01-01 09:30:00", "endtime": "2037-12-31 10:00:00"},
    {"cronJobId": 7, "cronJobName": "short", "starttime": "2020-01-01", "endtime": ""},
    {"cronJobId": 3, "cronJobName": "ahead", "starttime": "2037-12-31 09:30:00", "endtime": "2037-12-31 10:00:00"}]})";
  CronJobDialog* list = OpenList();
  ASSERT_TRUE(test::WaitUntil([this] { return RowCount() == 4; }));
  EXPECT_EQ(LabelText(Row(1), "status"), QStringLiteral("已完成"));
  EXPECT_EQ(LabelText(Row(2), "status"), QStringLiteral("已失效"));
  EXPECT_EQ(LabelText(Row(2), "cron-job-name"), QStringLiteral("<b>past</b>"));
  EXPECT_EQ(LabelText(Row(7), "status"), QStringLiteral("未开始"));
  EXPECT_EQ(LabelText(Row(3), "status"), QStringLiteral("未开始"));
  auto* rows = list->FindControl<QListWidget>(QStringLiteral("cron-job-list"));
  EXPECT_EQ(rows->itemWidget(rows->item(2)), Row(7));  // file order

  Click(list, QStringLiteral("clear-cron-job-btn"));
  ASSERT_TRUE(test::WaitUntil([this] { return RowCount() == 0; }));
  EXPECT_FALSE(std::filesystem::exists(DefaultJobFilePath()));

  // The next number follows the last job that was listed (3), not the largest (7).
  list->PostMessage(kNewCronJobMessage, reinterpret_cast<uintptr_t>(new CronJob{"next", "2037-12-31 09:30:00",
                                                                               "2037-12-31 10:00:00", 0}));
  ASSERT_TRUE(test::WaitUntil([this] { return Row(4) != nullptr; }));
  ASSERT_EQ(StoredJobs().size(), 1u);
  EXPECT_EQ(StoredJobs()[0].cronJobId, 4);

  // A job that arrives just before the list closes still reaches the file, ahead of the next
  // list's reading.
  list->PostMessage(kNewCronJobMessage, reinterpret_cast<uintptr_t>(new CronJob{"last", "2037-12-31 11:00:00",
                                                                               "2037-12-31 12:00:00", 0}));
  list->Close();
  ASSERT_TRUE(test::WaitUntil([this] { return list_.isNull(); }));
  OpenList();
  ASSERT_TRUE(test::WaitUntil([this] { return RowCount() == 2; }));
  EXPECT_EQ(LabelText(Row(5), "cron-job-name"), QStringLiteral("last"));
}

// A hand-edited file: numbers out of order, repeated and missing.
TEST_F(JobDialogsTest, ARowRemovesExactlyItsOwnJobWhateverTheNumbers) {
  std::ofstream(DefaultJobFilePath()) << R"({"list": [
    {"cronJobId": 2, "cronJobName": "b"}, {"cronJobId": 1, "cronJobName": "a"},
    {"cronJobId": 5, "cronJobName": "x"}, {"cronJobId": 5, "cronJobName": "y"},
    {"cronJobName": "p"}, {"cronJobName": "q"}]})";
  CronJobDialog* list = OpenList();
  ASSERT_TRUE(test::WaitUntil([this] { return RowCount() == 6; }));
  list->PostMessage(kNewCronJobMessage, reinterpret_cast<uintptr_t>(new CronJob{"new", "2037-12-31 09:30:00",
                                                                               "2037-12-31 10:00:00", 0}));
  ASSERT_TRUE(test::WaitUntil([this] { return RowCount() == 7; }));
  EXPECT_EQ(StoredJobs().back().cronJobId, 3);  // 1 and 2 are taken

  RemoveRowAt(6);
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"b", "a", "x", "y", "p", "q"}));
  RemoveRowAt(3);
  RemoveRowAt(4);
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"b", "a", "x", "p"}));
  EXPECT_EQ(ShownNames(), StoredNames());
}

TEST_F(JobDialogsTest, AJobThatCannotBeStoredIsReportedAndGetsNoRow) {
  CronJobDialog* list = OpenList();
  // The job file's temporary file cannot be made, as on a full disk or a read-only folder.
  const std::string blocker = DefaultJobFilePath() + ".tmp";
  std::filesystem::create_directory(blocker);
  test::ModalBoxAnswerer answerer;
  list->PostMessage(kNewCronJobMessage, reinterpret_cast<uintptr_t>(new CronJob{"new", "2037-12-31 09:30:00",
                                                                               "2037-12-31 10:00:00", 0}));
  const bool told = test::WaitUntil([&] { return !answerer.texts.isEmpty(); });
  std::filesystem::remove(blocker);
  ASSERT_TRUE(told);
  EXPECT_EQ(answerer.texts, QStringList{QStringLiteral("定时任务保存失败!")});
  EXPECT_EQ(RowCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(DefaultJobFilePath()));
}

TEST_F(JobDialogsTest, TheNewJobDialogRefusesAnEmptyNameAndTimesThatAreNotInOrderOrTooShort) {
  JobReceiver receiver;
  QPointer<NewCronJobDialog> dialog = new NewCronJobDialog(&receiver);
  ASSERT_TRUE(dialog->Create(&receiver, QStringLiteral("新建定时任务")));
  dialog->ShowWindow();
  auto* tips = dialog->FindControl<QLabel>(QStringLiteral("error-tips"));
  ASSERT_NE(tips, nullptr);
  auto save = [&] {
    Click(dialog, QStringLiteral("cron-job-save-btn"));
    QCoreApplication::processEvents();
  };

  Type(dialog, "cron-job-name", QStringLiteral(" \u3000 "));
  Type(dialog, "start-time", QStringLiteral("2024-05-01 09:30:00"));
  Type(dialog, "end-time", QStringLiteral("2024-05-01 09:30:00"));
  save();
  EXPECT_EQ(tips->text(), kEmptyJobNameText);

  Type(dialog, "cron-job-name", QStringLiteral(" 会议 "));
  save();
  EXPECT_EQ(tips->text(), kBadJobTimesText);
  EXPECT_EQ(dialog->FindControl<QLineEdit>(QStringLiteral("start-time"))->text(), QStringLiteral("2024-05-01 09:30:00"));

  Type(dialog, "start-time", QString());
  Type(dialog, "end-time", QStringLiteral("2024-05-01 09:30:01"));
  save();
  EXPECT_EQ(tips->text(), kBadJobTimesText);
  ASSERT_FALSE(dialog.isNull());
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(receiver.jobs.empty());

  // One second later than a start in the past is accepted.
  Type(dialog, "start-time", QStringLiteral("2024-05-01 09:30:00"));
  save();
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.isNull() && !receiver.jobs.empty(); }));
  ASSERT_EQ(receiver.jobs.size(), 1u);
  EXPECT_EQ(receiver.jobs[0].cronJobName, "会议");
  EXPECT_EQ(receiver.jobs[0].starttime, "2024-05-01 09:30:00");
  EXPECT_EQ(receiver.jobs[0].endtime, "2024-05-01 09:30:01");
  EXPECT_EQ(receiver.jobs[0].status, 0);
}

}  // namespace
}  // namespace zav
