#pragma once
// PromptBoxDialog: a message with one button ("msgConfirm", result 1) whose client area is
// exactly the size its caller gives (200 x 100, or 250 x 100 for longer texts).
// Skin "PromptBox.xml". Deletes itself when closed.

#include "SkinnedBox.h"

namespace zav {

class PromptBoxDialog : public SkinnedBox {
  Q_OBJECT

 public:
  PromptBoxDialog(QString text, int width, int height)
      : SkinnedBox(std::move(text)), width_(width), height_(height) {}

  // Shows the message modally, centred on owner, and returns when the user has read it.
  static void Show(QWidget* owner, const QString& text, int width = 200, int height = 100);

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("PromptBoxDialog"); }
  QString GetSkinFile() override { return QStringLiteral("PromptBox.xml"); }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;

 private:
  int width_;
  int height_;
};

}  // namespace zav
