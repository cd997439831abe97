#pragma once
// The output folder: its field, the button that picks another folder (kept only when a test
// file can be written into it) and the button that opens it. UI thread only.

#include <QString>

#include <string>

#include "settings/FolderWriteCheck.h"

class QLineEdit;

namespace zav {

class DesktopShell;
struct TNotifyUI;
class WindowImplBase;
class WorkQueue;

class FolderPanel {
 public:
  FolderPanel(WindowImplBase* window, WorkQueue* disk, DesktopShell* shell);

  void Show(const std::string& folder);
  bool Handle(const TNotifyUI& msg);

 private:
  void ChangeFolder();
  void OnFolderTested(const QString& folder, FolderChoice choice);

  WindowImplBase* window_;
  WorkQueue* disk_;
  DesktopShell* shell_;
  QLineEdit* field_;
  bool testing_ = false;  // a chosen folder is being tested
};

}  // namespace zav
