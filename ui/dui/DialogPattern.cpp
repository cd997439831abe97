#include "DialogPattern.h"

#include "WindowImplBase.h"

namespace zav {

int ShowDialog(WindowImplBase* dialog, QWidget* owner, const QString& caption) {
  if (!dialog->Create(owner, caption, WindowStyle::kDialog)) {
    dialog->DestroyWindow();
    return -1;
  }
  dialog->CenterWindow();
  return dialog->ShowModal();
}

}  // namespace zav
