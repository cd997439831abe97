#pragma once
// The main window's buttons that lead elsewhere: the help page, the feedback form, the hotkey
// dialog and the scheduled-job list. One place, so each can be wired to its window.

#include <QString>
#include <QUrl>

namespace zav {

class DesktopShell;
class WindowImplBase;

// The vendor service's help page.
QUrl HelpPageUrl();

// Does what the button named controlName does; false when it is none of these buttons.
bool OpenOtherWindow(const QString& controlName, WindowImplBase* owner, DesktopShell& shell);

}  // namespace zav
