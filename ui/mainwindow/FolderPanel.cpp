#include "FolderPanel.h"

#include "settings/FolderPicker.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QUrl>

#include "DesktopShell.h"
#include "SettingWrites.h"
#include "dui/Notify.h"
#include "dui/WindowImplBase.h"
#include "dui/WorkQueue.h"
#include "settings/FolderWriteCheck.h"
#include "dui/Texts.h"

namespace zav {

FolderPanel::FolderPanel(WindowImplBase* window, WorkQueue* disk, DesktopShell* shell)
    : window_(window), disk_(disk), shell_(shell), field_(window->FindControl<QLineEdit>(QStringLiteral("save-path-eidt"))) {}

void FolderPanel::Show(const std::string& folder) {
  if (field_) field_->setText(QString::fromStdString(folder));
}

bool FolderPanel::Handle(const TNotifyUI& msg) {
  if (msg.type != kNotifyClick || !msg.sender) return false;
  const QString name = msg.sender->objectName();
  if (name == QLatin1String("change-dir-btn")) {
    ChangeFolder();
  } else if (name == QLatin1String("open-dir-btn")) {
    if (field_ && !field_->text().isEmpty()) shell_->Open(QUrl::fromLocalFile(field_->text()));
  } else {
    return false;
  }
  return true;
}

void FolderPanel::ChangeFolder() {
  if (testing_) return;
  const QString start = field_ ? field_->text() : QString();
  const QString chosen = PickOutputFolder(window_, start);
  if (chosen.isEmpty()) return;
  testing_ = true;
  // Stored on the worker, in order with the other settings, before the window hears of it.
  disk_->Run(
      window_, [folder = chosen.toStdString()] { return StoreOutputFolderIfWritable(folder, kMainWindowWriteCheckFileName); },
      [this, chosen](FolderChoice choice) { OnFolderTested(chosen, choice); });
}

void FolderPanel::OnFolderTested(const QString& folder, FolderChoice choice) {
  testing_ = false;
  if (choice == FolderChoice::kStored) {
    if (field_) field_->setText(folder);
    return;
  }
  if (choice == FolderChoice::kNotStored) {
    TellSettingsNotStored(window_);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString(), Tr(QStringLiteral(QT_TRANSLATE_NOOP("Zav", "该目录没有写入权限!"))),
                  QMessageBox::Ok, window_);
  box.exec();
}

}  // namespace zav
