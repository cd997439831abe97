#pragma once
// What the message box and the prompt box share: no system title bar (the skin draws the
// whole box), a grey 4-pixel shadow, the text in "msgText" (the box grows taller when the
// text needs more lines than its size leaves), the text as the box's name for screen readers,
// and activation changes answered by the box itself so it keeps its look when another window
// takes the focus.

#include <QString>

#include "WndShadow.h"
#include "WindowImplBase.h"

namespace zav {

class SkinnedBox : public WindowImplBase {
  Q_OBJECT

 public:
  static constexpr int kShadowSize = 4;
  static inline const char kShadowColor[] = "#9E9D9D";

  explicit SkinnedBox(QString text) : text_(std::move(text)) {}

  const CWndShadow& Shadow() const { return shadow_; }
  const QString& Text() const { return text_; }

 protected:
  void OnCreate() override;
  void InitWindow() override;
  bool OnNcActivate(bool active) override;
  void OnFinalMessage() override;

 private:
  QString text_;
  CWndShadow shadow_;
};

}  // namespace zav
