#include "RecorderKeys.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "dui/WindowImplBase.h"

namespace zav {

RecorderKeys::RecorderKeys(WindowImplBase* window, std::function<void()> toggle)
    : QObject(window), window_(window), toggle_(std::move(toggle)) {
  // A button's shortcut works only while the button is shown and enabled, so the start and
  // pause buttons can share one; screen readers announce it with the button.
  for (const char* name : {"recorder-start", "recorder-pause"}) {
    if (auto* button = window->FindControl<QAbstractButton>(QLatin1String(name))) button->setShortcut(kStartPauseKey);
  }
  if (auto* stop = window->FindControl<QAbstractButton>(QStringLiteral("recorder-stop"))) stop->setShortcut(kStopKey);
  window->installEventFilter(this);
}

bool RecorderKeys::KeepsSpace(const QWidget* focused) {
  return qobject_cast<const QAbstractButton*>(focused) || qobject_cast<const QComboBox*>(focused) ||
         qobject_cast<const QAbstractItemView*>(focused) || qobject_cast<const QLineEdit*>(focused) ||
         qobject_cast<const QTextEdit*>(focused) || qobject_cast<const QPlainTextEdit*>(focused) ||
         qobject_cast<const QAbstractSpinBox*>(focused);
}

// The window sees a key only when the focused control has passed it on (or nothing has focus).
bool RecorderKeys::eventFilter(QObject* watched, QEvent* event) {
  if (watched != window_ || event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Space || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  if (KeepsSpace(window_->focusWidget())) return false;
  if (!key->isAutoRepeat()) toggle_();
  return true;
}

}  // namespace zav
