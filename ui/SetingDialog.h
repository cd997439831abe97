#pragma once
// SetingDialog ("系统设置"): the output folder ("output-dir", changed with "choose-dir" after a
// write check, opened in the file manager with "open-dir") and what closing the main window
// does ("window-close-exit" / "window-close-tray"). Every change is stored at once. Deletes
// itself when its window is destroyed.
//
// The output folder is looked up and a chosen folder is checked on a worker thread, so a dead
// network mount does not stop the window.

#include "dui/WindowImplBase.h"

class QAbstractButton;
class QLineEdit;

namespace zav {

class SetingDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // Asks the user for a folder; returns it, or an empty text when the user cancels.
  using FolderPicker = QString (*)(QWidget* parent, const QString& title, const QString& startFolder);
  // Replaces the desktop's folder picker (tests); nullptr puts it back.
  static void SetFolderPicker(FolderPicker picker);

  static inline const QString kNotWritableText = QStringLiteral("该目录没有写入权限!");

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("系统设置"); }
  QString GetSkinFile() override { return QStringLiteral("Seting.xml"); }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  void OnFinalMessage() override { delete this; }

 private:
  void ChooseFolder();
  void OnFolderChecked(const QString& folder, bool writable);
  void OpenFolder();

  QLineEdit* outputDir_ = nullptr;
  QAbstractButton* chooseDir_ = nullptr;
  bool folderChosen_ = false;  // a chosen folder wins over the first look-up arriving late
};

// What the tray menu's settings entry runs: the dialog, modal over owner.
void ShowSetingDialog(QWidget* owner);

}  // namespace zav
