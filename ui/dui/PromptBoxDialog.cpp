#include "PromptBoxDialog.h"

#include "DialogPattern.h"

namespace zav {

void PromptBoxDialog::Show(QWidget* owner, const QString& text, int width, int height) {
  ShowDialog(new PromptBoxDialog(text, width, height), owner);
}

void PromptBoxDialog::InitWindow() {
  ResizeClient(width_, height_);
  SkinnedBox::InitWindow();
}

void PromptBoxDialog::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender && msg.sender->objectName() == QLatin1String("msgConfirm")) {
    Close(1);
  }
  WindowImplBase::Notify(msg);
}

}  // namespace zav
