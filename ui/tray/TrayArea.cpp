#include "TrayArea.h"

#include <QSystemTrayIcon>

namespace zav {
namespace {

bool AskTheDesktop() { return QSystemTrayIcon::isSystemTrayAvailable(); }

TrayCheck g_check = &AskTheDesktop;

}  // namespace

bool DesktopHasTray() { return g_check(); }

void SetTrayCheck(TrayCheck check) { g_check = check ? check : &AskTheDesktop; }

}  // namespace zav
