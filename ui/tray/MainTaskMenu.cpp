#include "MainTaskMenu.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>
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

// MoveFocus's steps that go to an end.
constexpr int kToFirst = 0;
constexpr int kToLast = 1000;

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
  MoveFocus(0);
  return true;
}

QList<QAbstractButton*> CMainTaskMenu::Entries() const {
  QList<QAbstractButton*> entries;
  for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
    if (MenuCommandOf(button->objectName()) != 0 && button->isVisible()) entries.push_back(button);
  }
  std::sort(entries.begin(), entries.end(), [this](const QAbstractButton* a, const QAbstractButton* b) {
    return a->mapTo(this, QPoint()).y() < b->mapTo(this, QPoint()).y();
  });
  return entries;
}

void CMainTaskMenu::MoveFocus(int step) {
  const QList<QAbstractButton*> entries = Entries();
  if (entries.isEmpty()) return;
  const auto at = static_cast<int>(entries.indexOf(qobject_cast<QAbstractButton*>(focusWidget())));
  const auto count = static_cast<int>(entries.size());
  int next = 0;
  if (step == kToLast) {
    next = count - 1;
  } else if (step != kToFirst && at >= 0) {
    next = ((at + step) % count + count) % count;
  }
  entries[next]->setFocus(Qt::TabFocusReason);
}

bool CMainTaskMenu::focusNextPrevChild(bool next) {
  MoveFocus(next ? 1 : -1);
  return true;
}

void CMainTaskMenu::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Down:
      MoveFocus(1);
      return;
    case Qt::Key_Up:
      MoveFocus(-1);
      return;
    case Qt::Key_Home:
      MoveFocus(kToFirst);
      return;
    case Qt::Key_End:
      MoveFocus(kToLast);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (auto* entry = qobject_cast<QAbstractButton*>(focusWidget()); entry && Entries().contains(entry)) {
        entry->click();
        return;
      }
      break;
    case Qt::Key_Escape:
      Close(0);
      return;
    default:
      break;
  }
  WindowImplBase::keyPressEvent(event);
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
