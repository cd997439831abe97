#pragma once
// CMainWnd: the program's one top-level window, skin "MainWindow.xml". It carries the window
// property that a second start looks for, shows the recorder's elapsed time posted by the
// engine threads, and ends the program's event loop when it is destroyed.

#include "RecorderTypes.h"
#include "dui/WindowImplBase.h"

namespace zav {

// The quit command: a close with this value always ends the program.
inline constexpr unsigned kCloseForQuit = 1234;

class CMainWnd : public WindowImplBase {
  Q_OBJECT

 public:
  static inline const QString kCaption = QStringLiteral("ZAV电脑录音软件");
  // The window property that marks the main window for a second start.
  static constexpr char kWindowProp[] = "ZavAudioRecorder";

  CMainWnd() = default;

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("音频剪辑"); }
  QString GetSkinFile() override { return QStringLiteral("MainWindow.xml"); }
  void InitWindow() override;
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) override;
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  void OnFinalMessage() override;
};

}  // namespace zav
