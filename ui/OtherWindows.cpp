#include "OtherWindows.h"

#include "DesktopShell.h"
#include "dui/PromptBoxDialog.h"
#include "dui/WindowImplBase.h"

namespace zav {

QUrl HelpPageUrl() { return QUrl(QStringLiteral("http://127.0.0.1/help")); }

bool OpenOtherWindow(const QString& controlName, WindowImplBase* owner, DesktopShell& shell) {
  if (controlName == QLatin1String("help")) {
    shell.Open(HelpPageUrl());
  } else if (controlName == QLatin1String("feedback") || controlName == QLatin1String("hotkey-btn") ||
             controlName == QLatin1String("cron-job-btn")) {
    // The feedback form, the hotkey dialog and the job list join here.
    PromptBoxDialog::Show(owner, QStringLiteral("该功能即将开放!"));
  } else {
    return false;
  }
  return true;
}

}  // namespace zav
