#pragma once
// MessageBoxDialog: a question with confirm ("msgConfirm", result 1) and cancel ("msgCancel",
// result 0). Skin "MessageBox.xml". Deletes itself when closed.

#include "SkinnedBox.h"

namespace zav {

class MessageBoxDialog : public SkinnedBox {
  Q_OBJECT

 public:
  explicit MessageBoxDialog(QString text) : SkinnedBox(std::move(text)) {}

  // Shows the question modally, centred on owner; 1 when confirmed, 0 otherwise.
  static int Ask(QWidget* owner, const QString& text);

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("MessageBoxDialog"); }
  QString GetSkinFile() override { return QStringLiteral("MessageBox.xml"); }
  void Notify(TNotifyUI& msg) override;
};

}  // namespace zav
