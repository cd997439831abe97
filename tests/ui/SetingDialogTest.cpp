// The settings dialog: the close options stored at once, a chosen folder taken only when new
// files can be made in it, and never at the cost of a user's file.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "Autostart.h"
#include "ConfigStore.h"
#include "UiTestSupport.h"
#include "dui/Skin.h"
#include "dui/WorkQueue.h"
#include "settings/FolderPicker.h"
#include "settings/FolderWriteCheck.h"
#include "settings/SetingDialog.h"

namespace zav {
namespace {

using test::WaitUntil;

QString g_pickedFolder;
QString PickTheTestFolder(QWidget*, const QString&, const QString&) { return g_pickedFolder; }

// While it lives, a test run as root opens files with an ordinary user's rights, so that a
// folder's mode binds it as it binds a user.
class UnprivilegedFiles {
 public:
  UnprivilegedFiles() : dropped_(geteuid() == 0 && seteuid(65534) == 0) {}
  ~UnprivilegedFiles() {
    if (dropped_ && seteuid(0) != 0) std::abort();
  }

 private:
  const bool dropped_;
};

std::string GlobalValue(const char* key) { return ConfigStore::Instance().ReadString("global", key, "<missing>"); }

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

class SetingDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSkinFolder(test::SourceSkinFolder());
    std::filesystem::remove(ConfigStore::Instance().path());
    ASSERT_TRUE(folders_.isValid());
    // Others may enter the folders (the unprivileged check needs to).
    ASSERT_EQ(chmod(folders_.path().toUtf8().constData(), 0755), 0);
    SetFolderPicker(&PickTheTestFolder);
  }
  void TearDown() override {
    SetFolderPicker(nullptr);
    if (dialog_) dialog_->DestroyWindow();
  }

  QString MakeFolder(const QString& name, mode_t mode = 0755) {
    const QString path = folders_.path() + "/" + name;
    EXPECT_TRUE(QDir().mkpath(path));
    EXPECT_EQ(chmod(path.toUtf8().constData(), mode), 0);
    return path;
  }

  void Open() {
    dialog_ = new SetingDialog(disk_);
    ASSERT_TRUE(dialog_->Create(nullptr, QStringLiteral("系统设置")));
    dialog_->ShowWindow();
    field_ = dialog_->FindControl<QLineEdit>(QStringLiteral("output-dir"));
    ASSERT_NE(field_, nullptr);
  }

  void Choose(const QString& folder) {
    g_pickedFolder = folder;
    auto* choose = dialog_->FindControl<QPushButton>(QStringLiteral("choose-dir"));
    choose->click();
    ASSERT_TRUE(WaitUntil([&] { return choose->isEnabled(); }));
  }

  // Waits until every setting asked for so far is on the disk.
  void WaitForDisk() { ASSERT_TRUE(WaitUntil([&] { return !disk_.Busy(); })); }

  QTemporaryDir folders_{QDir::tempPath() + "/zav-seting-XXXXXX"};
  WorkQueue disk_{"zav-test-settings"};
  QPointer<SetingDialog> dialog_;
  QLineEdit* field_ = nullptr;
};

TEST_F(SetingDialogTest, CloseAutostartAndNotifyOptionsAreStoredAtOnce) {
  std::filesystem::remove(AutostartEntryPath());
  Open();
  auto* exit = dialog_->FindControl<QRadioButton>(QStringLiteral("window-close-exit"));
  auto* tray = dialog_->FindControl<QRadioButton>(QStringLiteral("window-close-tray"));
  ASSERT_TRUE(WaitUntil([&] { return exit->isChecked(); }));
  EXPECT_FALSE(tray->isChecked());
  WaitForDisk();
  EXPECT_EQ(GlobalValue("window-close"), "0");

  tray->click();
  WaitForDisk();
  EXPECT_EQ(GlobalValue("window-close"), "1");
  EXPECT_FALSE(exit->isChecked());
  exit->click();
  WaitForDisk();
  EXPECT_EQ(GlobalValue("window-close"), "0");

  // Starting with the desktop is the autostart entry; notices are on until turned off.
  auto* autostart = dialog_->FindControl<QCheckBox>(QStringLiteral("autostart-check"));
  auto* notify = dialog_->FindControl<QCheckBox>(QStringLiteral("notify-check"));
  ASSERT_TRUE(autostart && notify);
  EXPECT_FALSE(autostart->isChecked());
  EXPECT_TRUE(notify->isChecked());
  autostart->click();
  WaitForDisk();
  EXPECT_TRUE(AutostartEnabled());
  notify->click();
  WaitForDisk();
  EXPECT_EQ(GlobalValue("notify-check"), "0");
  dialog_->DestroyWindow();
  Open();
  ASSERT_TRUE(WaitUntil([&] {
    return dialog_->FindControl<QCheckBox>(QStringLiteral("autostart-check"))->isChecked() &&
           !dialog_->FindControl<QCheckBox>(QStringLiteral("notify-check"))->isChecked();
  }));
  dialog_->FindControl<QCheckBox>(QStringLiteral("autostart-check"))->click();
  WaitForDisk();
  EXPECT_FALSE(AutostartEnabled());
}

TEST_F(SetingDialogTest, AFolderThatRefusesNewFilesIsRefusedAndNothingChanges) {
  const QString kept = MakeFolder(QStringLiteral("kept"));
  ConfigStore::Instance().WriteString("global", "output-dir", kept.toStdString());
  const QString readOnly = MakeFolder(QStringLiteral("read-only"), 0555);
  Open();
  ASSERT_TRUE(WaitUntil([&] { return field_->text() == kept; }));

  test::ModalBoxAnswerer answerer;
  {
    UnprivilegedFiles unprivileged;
    Choose(readOnly);
    ASSERT_TRUE(WaitUntil([&] { return !answerer.texts.isEmpty(); }));
  }
  EXPECT_EQ(answerer.texts, QStringList{QStringLiteral("该目录没有写入权限!")});
  EXPECT_EQ(field_->text(), kept);
  EXPECT_EQ(GlobalValue("output-dir"), kept.toStdString());
  EXPECT_TRUE(Entries(readOnly).isEmpty());
}

TEST_F(SetingDialogTest, AWritableFolderIsTakenAndItsFilesStayAsTheyWere) {
  const QString chosen = MakeFolder(QStringLiteral("录音 folder"));
  QFile userFile(chosen + "/ZavAudioTmp");  // a user's own file of the check's name
  ASSERT_TRUE(userFile.open(QIODevice::WriteOnly));
  userFile.write("user data");
  userFile.close();
  Open();

  test::ModalBoxAnswerer answerer;
  Choose(chosen);
  EXPECT_TRUE(answerer.texts.isEmpty());
  EXPECT_EQ(field_->text(), chosen);
  EXPECT_EQ(GlobalValue("output-dir"), chosen.toStdString());
  EXPECT_EQ(Entries(chosen), QStringList{QStringLiteral("ZavAudioTmp")});
  ASSERT_TRUE(userFile.open(QIODevice::ReadOnly));
  EXPECT_EQ(userFile.readAll(), QByteArray("user data"));

}

TEST(FolderWriteCheckTest, NeverTouchesAFileOrLinkOfItsNamesAndRefusesWhatIsNoFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string folder = dir.path().toStdString();
  const std::string target = folder + "/elsewhere";
  ASSERT_EQ(symlink(target.c_str(), (folder + "/ZavAudioTmp").c_str()), 0);  // dangling link
  QFile taken(dir.path() + "/ZavAudioTmp-1");
  ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
  taken.close();

  EXPECT_TRUE(CanCreateFilesIn(folder));
  EXPECT_FALSE(std::filesystem::exists(target));  // the link was not followed
  EXPECT_EQ(Entries(dir.path()), QStringList({QStringLiteral("ZavAudioTmp"), QStringLiteral("ZavAudioTmp-1")}));

  EXPECT_FALSE(CanCreateFilesIn(folder + "/missing"));
  EXPECT_FALSE(CanCreateFilesIn(taken.fileName().toStdString()));
  EXPECT_FALSE(CanCreateFilesIn(""));
}

}  // namespace
}  // namespace zav
