#include "MessageBoxDialog.h"

#include "DialogPattern.h"

namespace zav {

int MessageBoxDialog::Ask(QWidget* owner, const QString& text) {
  return ShowDialog(new MessageBoxDialog(text), owner) == 1 ? 1 : 0;
}

void MessageBoxDialog::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender) {
    const QString name = msg.sender->objectName();
    if (name == QLatin1String("msgConfirm")) {
      Close(1);
    } else if (name == QLatin1String("msgCancel")) {
      Close(0);
    }
  }
  WindowImplBase::Notify(msg);
}

}  // namespace zav
