#include "SetingDialog.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QUrl>

#include <string>

#include "ConfigStore.h"
#include "FolderWriteCheck.h"
#include "UserFolders.h"
#include "dui/BackgroundTask.h"
#include "dui/DialogPattern.h"

namespace zav {
namespace {

const QString kPickerTitle = QStringLiteral("选择保存目录");
constexpr char kCloseKey[] = "window-close";

QString PickWithFileDialog(QWidget* parent, const QString& title, const QString& startFolder) {
  return QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
}

SetingDialog::FolderPicker g_folderPicker = &PickWithFileDialog;

}  // namespace

void SetingDialog::SetFolderPicker(FolderPicker picker) {
  g_folderPicker = picker ? picker : &PickWithFileDialog;
}

void SetingDialog::InitWindow() {
  outputDir_ = FindControl<QLineEdit>(QStringLiteral("output-dir"));
  chooseDir_ = FindControl<QAbstractButton>(QStringLiteral("choose-dir"));
  RunInBackground(
      this, [] { return GetOutputFolder(); },
      [this](const std::string& folder) {
        if (outputDir_ && !folderChosen_) outputDir_->setText(QString::fromStdString(folder));
      });

  // A value set from code does not notify, so the stored value is written back here, as
  // selecting the option would.
  const bool toTray = ConfigStore::Instance().ReadInt("global", kCloseKey, 0) != 0;
  if (auto* option = FindControl<QRadioButton>(toTray ? QStringLiteral("window-close-tray")
                                                      : QStringLiteral("window-close-exit"))) {
    option->setChecked(true);
  }
  ConfigStore::Instance().WriteString("global", kCloseKey, toTray ? "1" : "0");
}

void SetingDialog::Notify(TNotifyUI& msg) {
  if (msg.sender) {
    const QString name = msg.sender->objectName();
    if (msg.type == kNotifyClick) {
      if (name == QLatin1String("choose-dir")) {
        ChooseFolder();
      } else if (name == QLatin1String("open-dir")) {
        OpenFolder();
      }
    } else if (msg.type == kNotifySelectChanged && msg.wParam == 1) {
      if (name == QLatin1String("window-close-exit")) {
        ConfigStore::Instance().WriteString("global", kCloseKey, "0");
      } else if (name == QLatin1String("window-close-tray")) {
        ConfigStore::Instance().WriteString("global", kCloseKey, "1");
      }
    }
  }
  WindowImplBase::Notify(msg);
}

void SetingDialog::ChooseFolder() {
  const QString shown = outputDir_ ? outputDir_->text() : QString();
  const QString folder = g_folderPicker(this, kPickerTitle, shown.isEmpty() ? QDir::homePath() : shown);
  if (folder.isEmpty()) return;
  // One check at a time: the button waits for the answer.
  if (chooseDir_) chooseDir_->setEnabled(false);
  RunInBackground(
      this, [path = QDir::cleanPath(folder).toStdString()] { return CanCreateFilesIn(path); },
      [this, folder](bool writable) { OnFolderChecked(folder, writable); });
}

void SetingDialog::OnFolderChecked(const QString& folder, bool writable) {
  if (chooseDir_) chooseDir_->setEnabled(true);
  if (!writable) {
    QMessageBox box(QMessageBox::NoIcon, QString(), kNotWritableText, QMessageBox::Ok, this);
    box.exec();
    return;
  }
  folderChosen_ = true;
  const QString clean = QDir::cleanPath(folder);
  if (outputDir_) outputDir_->setText(clean);
  ConfigStore::Instance().WriteString("global", "output-dir", clean.toStdString());
}

void SetingDialog::OpenFolder() {
  const QString folder = outputDir_ ? outputDir_->text() : QString();
  if (folder.isEmpty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void ShowSetingDialog(QWidget* owner) {
  ShowDialog(new SetingDialog(), owner, QStringLiteral("系统设置"));
}

}  // namespace zav
