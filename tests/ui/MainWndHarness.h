#pragma once
// What the main window tests share: a fresh settings file and output folder for each test,
// the window itself, what it asked of the desktop, and the boxes it showed (each answered as
// the test says, since a box runs its own loop inside the window's handler).

#include <gtest/gtest.h>

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <string>
#include <vector>

#include "mainwindow/DesktopShell.h"
#include "mainwindow/MainWnd.h"

namespace zav::test {

class RecordingShell final : public DesktopShell {
 public:
  bool Open(const QUrl& url) override {
    opened.push_back(url);
    return true;
  }
  void ShowInFileManager(const QUrl& file) override { shown.push_back(file); }
  std::vector<QUrl> opened;
  std::vector<QUrl> shown;
};

struct SeenBox {
  QString text;
  QSize size;
};

// Answers every modal box that opens: prompts are confirmed, questions get `confirm`, the
// system message box is accepted.
// Any other dialog is recorded by its window class name and handed to `useDialog`, if set,
// then closed.
class BoxAnswerer : public QObject {
 public:
  BoxAnswerer();
  bool confirm = true;
  std::function<void(QWidget* dialog)> useDialog;
  std::vector<SeenBox> seen;
  QStringList Texts() const;

 private:
  void Answer();
  QTimer timer_;
};

// A small tmpfs mounted for a test (a full disk, a folder turned read-only). Needs root.
class TmpfsMount {
 public:
  explicit TmpfsMount(const std::string& size);
  ~TmpfsMount();
  bool mounted() const { return mounted_; }
  const std::string& path() const { return path_; }
  bool MakeReadOnly();

 private:
  QTemporaryDir dir_;
  std::string path_;
  bool mounted_ = false;
};

class MainWndTestBase : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates and shows the main window, and waits until it has shown the stored choices, the
  // volumes and the listed recordings with their durations. jobClock: what its scheduled jobs
  // go by.
  CMainWnd* OpenWindow(JobRunner::Clock jobClock = JobRunner::SystemClock());
  void CloseWindow();

  static void WriteSetting(const std::string& key, const std::string& value);
  static std::string ReadSetting(const std::string& key);  // "<none>" when missing
  // The settings file's text (empty when it does not exist).
  static std::string SettingsText();
  // Waits until the window's settings writes have reached the file.
  void WaitForSettings();
  // What the folder picker answers next (empty: the user cancels).
  static void PickFolderNext(const QString& folder);

  template <typename T = QWidget>
  T* Control(const char* name) const {
    T* control = window->FindControl<T>(QLatin1String(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  bool Shown(const char* name) const;
  QString Text(const char* name) const;
  void Click(const char* name) const;

  std::string folder() const { return outputFolder.path().toStdString(); }

  QTemporaryDir outputFolder;
  RecordingShell shell;
  BoxAnswerer boxes;
  QPointer<CMainWnd> window;
};

}  // namespace zav::test
