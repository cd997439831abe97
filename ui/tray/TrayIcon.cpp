#include "TrayIcon.h"

#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "HostMenu.h"
#include "TrayArea.h"
#include "TrayMessages.h"
#include "dui/WindowImplBase.h"
#include "dui/Texts.h"

namespace zav {

TrayIcon::TrayIcon(WindowImplBase* owner, const QIcon& icon, const QString& tip) {
  if (!DesktopHasTray()) return;
  icon_ = std::make_unique<QSystemTrayIcon>(icon);
  icon_->setToolTip(Tr(tip));
  const bool panelDrawsMenu = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  if (panelDrawsMenu) {
    hostMenu_ = BuildHostMenu(owner);
    if (hostMenu_) icon_->setContextMenu(hostMenu_.get());
  }
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                   [owner = QPointer<WindowImplBase>(owner), panelDrawsMenu](QSystemTrayIcon::ActivationReason reason) {
                     if (!owner) return;
                     if (reason == QSystemTrayIcon::Trigger) {
                       owner->PostMessage(kTrayCallback, kTrayIconId, kMouseLeftDown);
                     } else if (reason == QSystemTrayIcon::Context && !panelDrawsMenu) {
                       // No menu is attached to the icon, so a right click arrives as Context.
                       owner->PostMessage(kTrayCallback, kTrayIconId, kMouseRightDown);
                     }
                   });
  icon_->show();
}

TrayIcon::~TrayIcon() {
  if (icon_) icon_->hide();
  icon_.reset();
}

void TrayIcon::SetTip(const QString& tip) {
  if (icon_) icon_->setToolTip(Tr(tip));
}

bool TrayIcon::IsShown() const { return icon_ && icon_->isVisible(); }

}  // namespace zav
