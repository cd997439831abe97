#include "TrayIcon.h"

#include <QSystemTrayIcon>

#include "TrayMessages.h"
#include "dui/WindowImplBase.h"

namespace zav {

TrayIcon::TrayIcon(WindowImplBase* owner, const QIcon& icon, const QString& tip) {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  icon_ = std::make_unique<QSystemTrayIcon>(icon);
  icon_->setToolTip(tip);
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                   [owner = QPointer<WindowImplBase>(owner)](QSystemTrayIcon::ActivationReason reason) {
                     if (!owner) return;
                     // No menu is attached to the icon, so a right click arrives as Context.
                     if (reason == QSystemTrayIcon::Trigger) {
                       owner->PostMessage(kTrayCallback, kTrayIconId, kMouseLeftDown);
                     } else if (reason == QSystemTrayIcon::Context) {
                       owner->PostMessage(kTrayCallback, kTrayIconId, kMouseRightDown);
                     }
                   });
  icon_->show();
}

TrayIcon::~TrayIcon() {
  if (icon_) icon_->hide();
}

void TrayIcon::SetTip(const QString& tip) {
  if (icon_) icon_->setToolTip(tip);
}

bool TrayIcon::IsShown() const { return icon_ && icon_->isVisible(); }

}  // namespace zav
