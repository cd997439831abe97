#include "HostMenu.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QMenu>

#include "MainTaskMenu.h"
#include "dui/SkinLoader.h"
#include "dui/WindowImplBase.h"

namespace zav {

std::unique_ptr<QMenu> BuildHostMenu(WindowImplBase* owner) {
  QString error;
  const std::unique_ptr<QWidget> skin(LoadSkinFile(QStringLiteral("MainTaskMenu.xml"), nullptr, nullptr, &error));
  if (!skin) {
    LOG(ERROR) << "tray menu: " << error.toStdString();
    return nullptr;
  }
  auto menu = std::make_unique<QMenu>();
  const QPointer<WindowImplBase> target(owner);
  // The skin's widgets in the order it lists them.
  for (QWidget* widget : skin->findChildren<QWidget*>()) {
    if (widget->property("role").toString() == QLatin1String("separator")) {
      menu->addSeparator();
      continue;
    }
    auto* button = qobject_cast<QAbstractButton*>(widget);
    const unsigned command = button ? MenuCommandOf(button->objectName()) : 0;
    if (command == 0) continue;
    QAction* action = menu->addAction(button->text());
    action->setObjectName(button->objectName());
    QObject::connect(action, &QAction::triggered, menu.get(), [target, command] {
      if (target) target->PostMessage(command);
    });
  }
  return menu;
}

}  // namespace zav
