#include "MainWndHarness.h"

#include "settings/FolderPicker.h"

#include <sys/mount.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ConfigStore.h"
#include "CronJobStore.h"
#include "UiTestSupport.h"
#include "dui/Skin.h"
#include "recordings/RecordingsList.h"
#include "tray/TrayArea.h"

namespace zav::test {

BoxAnswerer::BoxAnswerer() {
  connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::Answer);
  timer_.start(10);
}

QStringList BoxAnswerer::Texts() const {
  QStringList texts;
  for (const SeenBox& box : seen) texts << box.text;
  return texts;
}

void BoxAnswerer::Answer() {
  QWidget* box = QApplication::activeModalWidget();
  if (!box || !box->isVisible()) return;
  if (auto* message = qobject_cast<QMessageBox*>(box)) {
    seen.push_back({message->text(), message->size()});
    message->accept();
    return;
  }
  if (!box->findChild<QAbstractButton*>(QStringLiteral("msgConfirm"))) {
    // Another dialog: seen by its window class name, used as the test says, and closed.
    seen.push_back({box->objectName(), box->size()});
    if (useDialog) useDialog(box);
    box->close();
    return;
  }
  auto* text = box->findChild<QLabel*>(QStringLiteral("msgText"));
  seen.push_back({text ? text->text() : QString(), box->size()});
  const bool question = box->findChild<QAbstractButton*>(QStringLiteral("msgCancel")) != nullptr;
  const char* button = question && !confirm ? "msgCancel" : "msgConfirm";
  if (auto* answer = box->findChild<QAbstractButton*>(QLatin1String(button))) answer->click();
}

TmpfsMount::TmpfsMount(const std::string& size) : path_(dir_.path().toStdString()) {
  if (::geteuid() != 0) return;
  mounted_ = ::mount("zav-test", path_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

TmpfsMount::~TmpfsMount() {
  if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
}

bool TmpfsMount::MakeReadOnly() {
  return mounted_ && ::mount("zav-test", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

namespace {
QString g_folderToPick;
QString PickTheTestFolder(QWidget*, const QString&, const QString&) { return g_folderToPick; }
}  // namespace

void MainWndTestBase::PickFolderNext(const QString& folder) { g_folderToPick = folder; }

void MainWndTestBase::SetUp() {
  // A desktop with a notification area, as most are; a test of one without says so itself.
  SetTrayCheck([] { return true; });
  SetFolderPicker(&PickTheTestFolder);
  PickFolderNext({});
  SetSkinFolder(SourceSkinFolder());
  std::filesystem::remove(ConfigStore::Instance().path());
  std::filesystem::remove(DefaultJobFilePath());  // no job records unless the test asks
  WriteSetting("output-dir", folder());
}

void MainWndTestBase::TearDown() {
  CloseWindow();
  SetFolderPicker(nullptr);
  SetTrayCheck(nullptr);
  std::filesystem::remove(ConfigStore::Instance().path());
}

CMainWnd* MainWndTestBase::OpenWindow(JobRunner::Clock jobClock) {
  auto* created = new CMainWnd(&shell, nullptr, std::move(jobClock));
  window = created;
  EXPECT_TRUE(created->Create(nullptr, CMainWnd::kCaption, WindowStyle::kMainFrame));
  created->CenterWindow();
  created->ShowWindow();
  EXPECT_TRUE(WaitUntil([&] {
    return window && !window->SettingsWorkPending() && window->recordings().ScanDone() &&
           window->recordings().DurationsPending() == 0;
  }, 10000));
  return created;
}

void MainWndTestBase::CloseWindow() {
  if (window) window->DestroyWindow();  // deletes itself
  // The main window ends the application's event loop when it goes, and with no loop running
  // Qt keeps that quit for the next loop: every later box would close at once. An empty run
  // of the application's loop uses it up.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

void MainWndTestBase::WriteSetting(const std::string& key, const std::string& value) {
  ConfigStore::Instance().WriteString("global", key, value);
}

std::string MainWndTestBase::ReadSetting(const std::string& key) {
  return ConfigStore::Instance().ReadString("global", key, "<none>");
}

std::string MainWndTestBase::SettingsText() {
  std::ifstream file(ConfigStore::Instance().path());
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void MainWndTestBase::WaitForSettings() {
  EXPECT_TRUE(WaitUntil([&] { return !window->SettingsWorkPending(); }));
}

bool MainWndTestBase::Shown(const char* name) const {
  QWidget* control = Control(name);
  return control && control->isVisible();
}

QString MainWndTestBase::Text(const char* name) const {
  auto* label = Control<QLabel>(name);
  return label ? label->text() : QString();
}

void MainWndTestBase::Click(const char* name) const {
  QWidget* control = Control(name);
  ASSERT_NE(control, nullptr);
  ASSERT_TRUE(control->isVisible() && control->isEnabled()) << name;
  QTest::mouseClick(control, Qt::LeftButton);
}

}  // namespace zav::test
