#include "SkinnedBox.h"

#include <QLabel>
#include <QLayout>

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
  // A screen reader names the box by what it says.
  setAccessibleName(Tr(text_));
  auto* label = FindControl<QLabel>(QStringLiteral("msgText"));
  if (!label) return;
  label->setText(Tr(text_));
  // The box keeps its width; a text that needs more lines than it has room for (a translation
  // longer than the source) makes it taller rather than being cut.
  if (layout()) layout()->activate();
  if (Root() && Root()->layout()) Root()->layout()->activate();
  const int missing = label->heightForWidth(label->width()) - label->height();
  if (missing <= 0) return;
  if (Root()) Root()->setMaximumHeight(QWIDGETSIZE_MAX);
  ResizeClient(width(), height() + missing);
}

bool SkinnedBox::OnNcActivate(bool) { return true; }

void SkinnedBox::OnFinalMessage() { delete this; }

}  // namespace zav
