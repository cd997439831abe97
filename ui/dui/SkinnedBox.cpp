#include "SkinnedBox.h"

#include <QLabel>

#include "Texts.h"

namespace zav {

void SkinnedBox::OnCreate() {
  SetFrameless(true);
  shadow_.AttachTo(this);
  shadow_.SetShadowSize(kShadowSize);
  shadow_.SetShadowOffset(0, 0);
  shadow_.SetShadowColor(QColor(QLatin1String(kShadowColor)));
}

void SkinnedBox::InitWindow() {
  if (auto* label = FindControl<QLabel>(QStringLiteral("msgText"))) label->setText(Tr(text_));
}

bool SkinnedBox::OnNcActivate(bool) { return true; }

void SkinnedBox::OnFinalMessage() { delete this; }

}  // namespace zav
