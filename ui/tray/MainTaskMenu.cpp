#include "MainTaskMenu.h"

#include <QGuiApplication>
#include <QScreen>

#include <array>
#include <utility>

#include "MenuPlacement.h"
#include "TrayMessages.h"

namespace zav {
namespace {

const std::array<std::pair<QLatin1String, unsigned>, 6> kEntries = {{
    {QLatin1String("main_menu_item_quit"), kMenuQuit},
    {QLatin1String("main_menu_item_home"), kMenuHome},
    {QLatin1String("main_menu_item_feedback"), kMenuFeedback},
    {QLatin1String("main_menu_item_help"), kMenuHelp},
    {QLatin1String("main_menu_item_upgrade"), kMenuUpgrade},
    {QLatin1String("main_menu_item_seting"), kMenuSeting},
}};

QRect WorkAreaAt(QPoint point) {
  QScreen* screen = QGuiApplication::screenAt(point);
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

unsigned MenuCommandOf(const QString& entryName) {
  for (const auto& [entry, message] : kEntries) {
    if (entryName == entry) return message;
  }
  return 0;
}

bool CMainTaskMenu::Init(WindowImplBase* owner, QPoint cursor) {
  owner_ = owner;
  if (!Create(nullptr, QStringLiteral("MenuWnd"), WindowStyle::kPopup)) {
    DestroyWindow();
    return false;
  }
  const QRect workArea = WorkAreaAt(cursor);
  move(workArea.isValid() ? PlaceMenu(cursor, size(), workArea) : cursor);
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  ShowWindow(true, true);
  setFocus(Qt::PopupFocusReason);
  return true;
}

void CMainTaskMenu::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender) {
    const unsigned message = MenuCommandOf(msg.sender->objectName());
    if (message != 0 && owner_) owner_->PostMessage(message, msg.wParam, msg.lParam);
    Close(0);
  }
  WindowImplBase::Notify(msg);
}

void CMainTaskMenu::OnKillFocus() { Close(0); }

void OpenMainTaskMenu(WindowImplBase* owner, QPoint cursor) {
  (new CMainTaskMenu())->Init(owner, cursor);
}

}  // namespace zav
