#include "MainWnd.h"

#include <QCoreApplication>
#include <QLabel>

#include "ElapsedTime.h"
#include "PaintViewUI.h"

namespace zav {

void CMainWnd::InitWindow() {
  // No maximise box and no sizing frame: the skin fixes the window's size.
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  setFixedSize(size());
  SetWindowProp(kWindowProp);
  SetIcon(QStringLiteral("app-icon.png"));
  if (auto* progress = FindControl<QLabel>(QStringLiteral("recorder-progress"))) {
    progress->setText(FormatElapsedTime(0));
  }
}

intptr_t CMainWnd::HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) {
  if (message == WM_RECORD_SECONDS) {
    if (auto* progress = FindControl<QLabel>(QStringLiteral("recorder-progress"))) {
      progress->setText(FormatElapsedTime(lParam));
    }
    handled = true;
    return 0;
  }
  return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
}

QWidget* CMainWnd::CreateControl(const QString& className, QWidget* parent) {
  return CPaintViewUI::CreateForSkin(className, this, parent);
}

void CMainWnd::OnFinalMessage() {
  // Ends the event loop of start-up (and any modal loop still running) with code 0.
  QCoreApplication::exit(0);
  delete this;
}

}  // namespace zav
