#include "WindowImplBase.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QButtonGroup>
#include <QAbstractSlider>
#include <QApplication>
#include <QWindow>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QIcon>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QScreen>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "Skin.h"
#include "SkinLoader.h"
#include "SliderNotifier.h"
#include "Texts.h"

namespace zav {

namespace {

constexpr char kBoundProperty[] = "zavNotifyBound";

QEvent::Type CustomMessageEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class CustomMessageEvent : public QEvent {
 public:
  CustomMessageEvent(unsigned message, uintptr_t wParam, intptr_t lParam)
      : QEvent(CustomMessageEventType()), message(message), wParam(wParam), lParam(lParam) {}
  const unsigned message;
  const uintptr_t wParam;
  const intptr_t lParam;
};

Qt::WindowFlags FlagsFor(WindowStyle style) {
  switch (style) {
    case WindowStyle::kMainFrame:
      return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
             Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    case WindowStyle::kDialog:
      return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
             Qt::WindowCloseButtonHint;
    case WindowStyle::kPopup:
      return Qt::Popup | Qt::FramelessWindowHint;
  }
  return Qt::Window;
}

}  // namespace

WindowImplBase::WindowImplBase() : QWidget(nullptr, Qt::Window) {}

WindowImplBase::~WindowImplBase() {
  for (const auto& [id, qtId] : timers_) killTimer(qtId);
}

bool WindowImplBase::Create(QWidget* owner, const QString& caption, WindowStyle style) {
  setParent(owner, FlagsFor(style));
  setObjectName(GetWindowClassName());
  setWindowTitle(Tr(caption));
  OnCreate();

  QString error;
  QWidget* root = LoadSkinFile(GetSkinFile(), this, this, &error);
  if (!root) {
    LOG(ERROR) << "window " << GetWindowClassName().toStdString() << ": " << error.toStdString();
    return false;
  }
  root_ = root;
  const QSize skinSize = root->size();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(root);
  resize(skinSize);
  BindNotifications(root);
  InitWindow();
  return true;
}

void WindowImplBase::CenterWindow() {
  QRect area;
  QWidget* owner = parentWidget();
  if (owner && owner->isVisible() && !owner->isMinimized()) {
    area = owner->window()->frameGeometry();
  }
  QScreen* screen = owner ? owner->screen() : this->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect work = screen ? screen->availableGeometry() : QRect();
  if (!area.isValid()) area = work;
  if (!area.isValid()) return;
  QPoint topLeft = area.center() - QPoint(width() / 2, height() / 2);
  if (work.isValid()) {
    topLeft.setX(std::max(work.left(), std::min(topLeft.x(), work.right() - width())));
    topLeft.setY(std::max(work.top(), std::min(topLeft.y(), work.bottom() - height())));
  }
  move(topLeft);
}

void WindowImplBase::ShowWindow(bool show, bool takeFocus) {
  if (!show) {
    hide();
    return;
  }
  QWidget::show();
  if (takeFocus) {
    raise();
    activateWindow();
  }
}

int WindowImplBase::ShowModal() {
  if (modalLoop_) return -1;
  if (closing_) return result_;  // closed before it was ever run; the queued destroy follows
  QEventLoop loop;
  modalLoop_ = &loop;
  setWindowModality(Qt::ApplicationModal);
  ShowWindow(true, true);
  loop.exec(QEventLoop::DialogExec);
  modalLoop_ = nullptr;
  const int result = result_;
  DestroyWindow();
  return result;
}

void WindowImplBase::Close(int result) {
  closeParam_ = static_cast<uintptr_t>(result);
  if (!close()) closeParam_ = 0;
}

void WindowImplBase::DestroyWindow() {
  if (destroyed_) return;
  destroyed_ = true;
  closing_ = true;
  ReturnKeyboardToOwner();
  hide();
  OnDestroy();
  OnFinalMessage();  // may delete this
}

void WindowImplBase::ResizeClient(int width, int height) {
  const QSize size(width, height);
  if (layout()) layout()->activate();  // so the skin's minimum is known and can be lowered
  setMinimumSize(minimumSize().boundedTo(size));
  setMaximumSize(maximumSize().expandedTo(size));
  resize(size);
}

void WindowImplBase::SetIcon(const QString& pictureFile) {
  setWindowIcon(QIcon(SkinFilePath(pictureFile)));
}

void WindowImplBase::PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  QCoreApplication::postEvent(this, new CustomMessageEvent(message, wParam, lParam));
}

void WindowImplBase::PostTask(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void WindowImplBase::SetTimer(int id, int intervalMs) {
  KillTimer(id);
  const int qtId = startTimer(intervalMs);
  if (qtId != 0) timers_[id] = qtId;
}

void WindowImplBase::KillTimer(int id) {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return;
  killTimer(it->second);
  timers_.erase(it);
}

void WindowImplBase::BringToFront() {
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
    // Wayland lets a client minimise its window but neither restore nor raise it, nor tell
    // whether it is minimised: a window without the focus is mapped anew, which brings it back
    // in front. Not while a modal dialog hangs on it.
    if (isVisible() && !isActiveWindow() && !QApplication::activeModalWidget()) hide();
    showNormal();
  } else if (isMinimized()) {
    setWindowState(windowState() & ~Qt::WindowMinimized);
  }
  QWidget::show();
  raise();
  activateWindow();
  QWidget* popup = QApplication::activeModalWidget();
  if (popup && popup != this) {
    popup->show();
    popup->raise();
    popup->activateWindow();
  }
}

QWidget* WindowImplBase::FindControl(const QString& name) const {
  return FindControl<QWidget>(name);
}

void WindowImplBase::BindNotifications(QWidget* root) {
  if (!root) return;
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    const QString name = w->objectName();
    if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || w->property(kBoundProperty).toBool()) {
      continue;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      // Every change of a check state is a selection change, whatever made it: a click, the
      // keyboard, or an assistive technology's toggle action (QAccessible calls toggle(),
      // which never emits "clicked"). Code that shows a stored state blocks the button's
      // signals while it sets it. In an exclusive group the button picked is notified, not
      // the one that lost its mark. A click's selection change comes before its "click".
      connect(button, &QAbstractButton::toggled, this, [this, button](bool checked) {
        const bool exclusive = button->autoExclusive() || (button->group() && button->group()->exclusive());
        if (checked || !exclusive) Deliver(kNotifySelectChanged, button, checked ? 1 : 0);
      });
      connect(button, &QAbstractButton::clicked, this, [this, button] { Deliver(kNotifyClick, button, 0); });
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      connect(combo, &QComboBox::currentIndexChanged, this,
              [this, combo](int index) { Deliver(kNotifyItemSelect, combo, static_cast<uintptr_t>(index)); });
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(w)) {
      new SliderNotifier(slider, [this, slider](int value) {
        Deliver(kNotifyValueChanged, slider, static_cast<uintptr_t>(value));
      });
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      connect(list, &QListWidget::currentRowChanged, this,
              [this, list](int row) { Deliver(kNotifyItemSelect, list, static_cast<uintptr_t>(row)); });
    } else {
      continue;
    }
    w->setProperty(kBoundProperty, true);
  }
}

void WindowImplBase::SetWindowProp(const char* name) { setProperty(name, true); }

WindowImplBase* WindowImplBase::FindWindowWithProp(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* window = qobject_cast<WindowImplBase*>(w);
    if (window && !window->destroyed_ && window->property(name).toBool()) return window;
  }
  return nullptr;
}

void WindowImplBase::Notify(TNotifyUI& msg) {
  if (msg.type != kNotifyClick || !msg.sender) return;
  const QString name = msg.sender->objectName();
  if (name == QLatin1String("closebtn")) {
    Close(0);
  } else if (name == QLatin1String("minbtn")) {
    showMinimized();
  }
}

intptr_t WindowImplBase::HandleCustomMessage(unsigned, uintptr_t, intptr_t, bool& handled) {
  handled = false;
  return 0;
}

QWidget* WindowImplBase::CreateControl(const QString&, QWidget*) { return nullptr; }

void WindowImplBase::OnClose(uintptr_t, bool& handled) { handled = false; }

void WindowImplBase::OnTimer(int) {}

bool WindowImplBase::OnNcActivate(bool) { return false; }

void WindowImplBase::SetFrameless(bool frameless) {
  // Qt keeps no frameless hint next to title-bar hints, so those go with it.
  constexpr Qt::WindowFlags kTitleBarHints = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                             Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                                             Qt::WindowCloseButtonHint;
  Qt::WindowFlags flags = windowFlags();
  if (frameless) {
    flags = (flags & ~kTitleBarHints) | Qt::FramelessWindowHint;
  } else {
    flags &= ~Qt::FramelessWindowHint;
  }
  setWindowFlags(flags);
}

bool WindowImplBase::event(QEvent* event) {
  if (event->type() == CustomMessageEventType()) {
    const auto* message = static_cast<CustomMessageEvent*>(event);
    bool handled = false;
    HandleCustomMessage(message->message, message->wParam, message->lParam, handled);
    return true;
  }
  if (event->type() == QEvent::WindowActivate && OnNcActivate(true)) return true;
  if (event->type() == QEvent::WindowDeactivate) {
    OnKillFocus();
    if (OnNcActivate(false)) return true;
  }
  return QWidget::event(event);
}

void WindowImplBase::closeEvent(QCloseEvent* event) {
  const uintptr_t param = closeParam_;
  closeParam_ = 0;
  bool handled = false;
  if (!destroyed_) OnClose(param, handled);
  if (handled) {
    event->ignore();
    return;
  }
  event->accept();
  if (closing_) return;
  closing_ = true;
  result_ = static_cast<int>(param);
  ReturnKeyboardToOwner();  // the window is hidden once this returns
  if (modalLoop_) {
    modalLoop_->exit();
  } else {
    QMetaObject::invokeMethod(this, &WindowImplBase::DestroyWindow, Qt::QueuedConnection);
  }
}

// Only keys that the focused control passed on arrive here.
void WindowImplBase::keyPressEvent(QKeyEvent* event) {
  const bool dialog = windowType() == Qt::Dialog;
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (modifiers == Qt::NoModifier && event->key() == Qt::Key_Escape && dialog) {
    Close(0);
    return;
  }
  if (modifiers == Qt::NoModifier && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      !event->isAutoRepeat()) {
    // Buttons outside a Qt dialog class leave Enter alone; the skin marks a dialog's main one.
    auto* button = qobject_cast<QAbstractButton*>(focusWidget());
    // Not from a list, whose rows Enter is about.
    if (!button && dialog && root_ && !qobject_cast<QAbstractItemView*>(focusWidget())) {
      for (auto* candidate : root_->findChildren<QAbstractButton*>()) {
        if (candidate->property("role").toString() == QLatin1String("primary") && candidate->isVisible()) {
          button = candidate;
          break;
        }
      }
    }
    if (button && button->isEnabled() && button->isVisible()) {
      button->click();
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

// The owner takes the keyboard back from a window that goes while it has it, which X11 leaves to
// a window manager that may not run. Asked while this window is still shown: X11 ignores a
// request dated before the focus fell back to the root window.
void WindowImplBase::ReturnKeyboardToOwner() {
  QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
  if (owner && isVisible() && isActiveWindow() && owner->isVisible()) owner->activateWindow();
}

void WindowImplBase::timerEvent(QTimerEvent* event) {
  for (const auto& [id, qtId] : timers_) {
    if (qtId == event->timerId()) {
      OnTimer(id);
      return;
    }
  }
  QWidget::timerEvent(event);
}

// Frameless windows have no title bar to drag, so the skin's background moves them.
void WindowImplBase::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && (windowFlags() & Qt::FramelessWindowHint) &&
      !(windowFlags() & Qt::Popup)) {
    // Wayland moves only what the compositor moves: it is asked to.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && windowHandle() &&
        windowHandle()->startSystemMove()) {
      event->accept();
      return;
    }
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

void WindowImplBase::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - dragOffset_);
    event->accept();
    return;
  }
  QWidget::mouseMoveEvent(event);
}

void WindowImplBase::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  QWidget::mouseReleaseEvent(event);
}

void WindowImplBase::Deliver(const QString& type, QWidget* sender, uintptr_t wParam) {
  TNotifyUI msg{type, sender, wParam, 0};
  Notify(msg);
}

}  // namespace zav
