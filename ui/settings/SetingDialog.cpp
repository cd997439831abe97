#include "SetingDialog.h"

#include "FolderPicker.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QUrl>

#include "Autostart.h"
#include "ConfigStore.h"
#include "FolderWriteCheck.h"
#include "UserFolders.h"
#include "dui/DialogPattern.h"
#include "dui/WorkQueue.h"
#include "mainwindow/SettingWrites.h"
#include "mainwindow/StoredChoices.h"
#include "dui/Texts.h"

namespace zav {
namespace {

constexpr char kCloseKey[] = "window-close";

}  // namespace

void SetingDialog::InitWindow() {
  outputDir_ = FindControl<QLineEdit>(QStringLiteral("output-dir"));
  chooseDir_ = FindControl<QAbstractButton>(QStringLiteral("choose-dir"));
  if (!trayShown_) {
    if (auto* tray = FindControl<QRadioButton>(QStringLiteral("window-close-tray"))) {
      tray->setEnabled(false);
      tray->setToolTip(Tr(kNoTrayTip));
    }
  }
  disk_.Run(
      this,
      [] {
        ConfigStore& config = ConfigStore::Instance();
        Stored stored{GetOutputFolder(), config.ReadInt(kGlobalSection, kCloseKey, 0) != 0, AutostartEnabled(),
                      config.ReadInt(kGlobalSection, keys::kNotifications, 1) != 0};
        // Showing the stored choice selects its option, which stores it as a click would.
        config.WriteString(kGlobalSection, kCloseKey, stored.closeToTray ? "1" : "0");
        return stored;
      },
      [this](const Stored& stored) { ShowStored(stored); });
}

void SetingDialog::ShowStored(const Stored& stored) {
  if (outputDir_ && !folderChosen_) outputDir_->setText(QString::fromStdString(stored.outputFolder));
  const auto showCheck = [this](const char* name, bool checked) {
    if (auto* box = FindControl<QAbstractButton>(QLatin1String(name))) {
      const QSignalBlocker quiet(box);
      box->setChecked(checked);
    }
  };
  if (!autostartChosen_) showCheck("autostart-check", stored.autostart);
  if (!notifyChosen_) showCheck("notify-check", stored.notify);
  if (closeChosen_) return;
  // Selected without notifying: the value is already stored. Without a tray, what a close does.
  const bool showTray = stored.closeToTray && trayShown_;
  if (auto* option = FindControl<QRadioButton>(showTray ? QStringLiteral("window-close-tray")
                                                        : QStringLiteral("window-close-exit"))) {
    const QSignalBlocker quiet(option);
    option->setChecked(true);
  }
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
        StoreCloseChoice(false);
      } else if (name == QLatin1String("window-close-tray")) {
        StoreCloseChoice(true);
      }
    }
    if (msg.type == kNotifySelectChanged && name == QLatin1String("autostart-check")) {
      StoreAutostart(msg.wParam == 1);
    } else if (msg.type == kNotifySelectChanged && name == QLatin1String("notify-check")) {
      notifyChosen_ = true;
      StoreSetting(this, &disk_, keys::kNotifications, msg.wParam == 1 ? "1" : "0");
    }
  }
  WindowImplBase::Notify(msg);
}

void SetingDialog::StoreCloseChoice(bool toTray) {
  closeChosen_ = true;
  StoreSetting(this, &disk_, kCloseKey, toTray ? "1" : "0");
}

void SetingDialog::StoreAutostart(bool on) {
  autostartChosen_ = true;
  const std::string program = QCoreApplication::applicationFilePath().toStdString();
  disk_.Run(this, [on, program] { return SetAutostart(on, program); }, [this, on](bool set) {
    if (set) return;
    if (auto* box = FindControl<QAbstractButton>(QStringLiteral("autostart-check"))) {
      const QSignalBlocker quiet(box);
      box->setChecked(!on);
    }
    QMessageBox message(QMessageBox::NoIcon, QString(), Tr(kAutostartNotSetText), QMessageBox::Ok, this);
    message.exec();
  });
}

void SetingDialog::ChooseFolder() {
  const QString shown = outputDir_ ? outputDir_->text() : QString();
  const QString folder = PickOutputFolder(this, shown.isEmpty() ? QDir::homePath() : shown);
  if (folder.isEmpty()) return;
  // One check at a time: the button waits for the answer.
  if (chooseDir_) chooseDir_->setEnabled(false);
  const QString clean = QDir::cleanPath(folder);
  // Stored on the worker: a folder that passed is kept even when the dialog closes meanwhile.
  disk_.Run(
      this, [path = clean.toStdString()] { return StoreOutputFolderIfWritable(path, kWriteCheckFileName); },
      [this, clean](FolderChoice choice) { OnFolderChecked(clean, choice); });
}

void SetingDialog::OnFolderChecked(const QString& folder, FolderChoice choice) {
  if (chooseDir_) chooseDir_->setEnabled(true);
  if (choice == FolderChoice::kNotStored) {
    TellSettingsNotStored(this);
    return;
  }
  if (choice == FolderChoice::kNotWritable) {
    QMessageBox box(QMessageBox::NoIcon, QString(), Tr(kNotWritableText), QMessageBox::Ok, this);
    box.exec();
    return;
  }
  folderChosen_ = true;
  if (outputDir_) outputDir_->setText(folder);
}

void SetingDialog::OpenFolder() {
  const QString folder = outputDir_ ? outputDir_->text() : QString();
  if (folder.isEmpty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void ShowSetingDialog(QWidget* owner, WorkQueue& disk, bool trayShown) {
  ShowDialog(new SetingDialog(disk, trayShown), owner, QStringLiteral(QT_TRANSLATE_NOOP("Zav", "系统设置")));
}

}  // namespace zav
