#include "WndShadow.h"

#include <QEvent>
#include <QPainter>
#include <QResizeEvent>

#include <map>

#include "PerPixelAlpha.h"

namespace zav {

namespace {

bool InRange(int value) { return value >= -CWndShadow::kMaxExtent && value <= CWndShadow::kMaxExtent; }

struct SupportState {
  bool initialised = false;
  bool enabled = false;
};

SupportState& Support() {
  static SupportState state;
  return state;
}

std::map<const QWidget*, CWndShadow*>& Registry() {
  static std::map<const QWidget*, CWndShadow*> registry;
  return registry;
}

}  // namespace

// The shadow's own window: shows its picture as it is, premultiplied alpha included.
class CWndShadow::Window : public QWidget {
 public:
  explicit Window(QWidget* parent)
      : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint |
                            Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    resize(1, 1);  // a window has at least one pixel; the first Refresh sizes it
  }

  void SetImage(QImage image) {
    image_ = std::move(image);
    update();
  }
  const QImage& Image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, image_);
  }

 private:
  QImage image_;
};

class CWndShadow::ParentWatcher : public QObject {
 public:
  explicit ParentWatcher(CWndShadow* shadow) : shadow_(shadow) {}

  bool eventFilter(QObject*, QEvent* event) override {
    shadow_->OnParentEvent(event);
    return false;  // the parent handles every event as usual
  }

 private:
  CWndShadow* shadow_;
};

bool CWndShadow::InitShadowSupport() {
  if (Support().initialised) return false;
  return InitShadowSupport(ThisPlatformShowsShadowWindows());
}

bool CWndShadow::InitShadowSupport(bool perPixelAlpha) {
  SupportState& state = Support();
  if (state.initialised) return false;
  state.initialised = true;
  state.enabled = perPixelAlpha;
  return perPixelAlpha;
}

bool CWndShadow::ShadowsEnabled() { return Support().enabled; }

CWndShadow* CWndShadow::FindShadow(const QWidget* parent) {
  const auto it = Registry().find(parent);
  return it == Registry().end() ? nullptr : it->second;
}

CWndShadow::CWndShadow() = default;

CWndShadow::~CWndShadow() { Detach(); }

void CWndShadow::Detach() {
  for (auto it = Registry().begin(); it != Registry().end();) {
    it = it->second == this ? Registry().erase(it) : std::next(it);
  }
  if (parent_ && watcher_) parent_->removeEventFilter(watcher_.get());
  watcher_.reset();
  delete window_.data();
  parent_ = nullptr;
  status_ = 0;
  updatePending_ = false;
}

void CWndShadow::AttachTo(QWidget* parent) {
  if (!ShadowsEnabled() || !parent) return;
  Detach();
  parent_ = parent;
  Registry()[parent] = this;
  window_ = new Window(parent);

  watcher_ = std::make_unique<ParentWatcher>(this);
  QObject::connect(parent, &QObject::destroyed, watcher_.get(), [this, parent] {
    if (FindShadow(parent) == this) Registry().erase(parent);
    delete window_.data();
  });
  if (!parent->isVisible()) {
    status_ = kEnabled;
  } else if (parent->isMinimized() || parent->isMaximized()) {
    status_ = kEnabled | kParentVisible;
  } else {
    status_ = kEnabled | kShadowVisible | kParentVisible;
    ShowWithoutActivating();
    Refresh();
  }
  parent->installEventFilter(watcher_.get());
}

bool CWndShadow::SetShadowSize(int size) {
  if (!InRange(size)) return false;
  look_.size = size;
  if (status_ & kShadowVisible) Refresh();
  return true;
}

bool CWndShadow::SetShadowOffset(int x, int y) {
  if (!InRange(x) || !InRange(y)) return false;
  look_.offsetX = x;
  look_.offsetY = y;
  if (status_ & kShadowVisible) Refresh();
  return true;
}

bool CWndShadow::SetShadowColor(const QColor& color) {
  look_.color = color.rgb();
  if (status_ & kShadowVisible) Refresh();
  return true;
}

QWidget* CWndShadow::ShadowWindow() const { return window_; }

QImage CWndShadow::ShadowImage() const { return window_ ? window_->Image() : QImage(); }

QPoint CWndShadow::ShadowPosition() const {
  return parent_->frameGeometry().topLeft() + QPoint(look_.offsetX - look_.size, look_.offsetY - look_.size);
}

void CWndShadow::Refresh() {
  if (!parent_ || !window_) return;
  const QRect frame = parent_->frameGeometry();
  QRegion shape = parent_->mask();
  if (!shape.isEmpty()) shape.translate(parent_->geometry().topLeft() - frame.topLeft());
  QImage image = RenderShadowImage(ShapeRows(shape, frame.size()), frame.size(), look_);
  if (!image.isNull()) window_->setGeometry(QRect(ShadowPosition(), image.size()));
  window_->SetImage(std::move(image));
}

void CWndShadow::ShowWithoutActivating() {
  if (window_) window_->show();  // the window never takes the focus (see Window)
}

void CWndShadow::HideShadow() {
  if (window_) window_->hide();
  status_ &= ~kShadowVisible;
}

void CWndShadow::OnParentEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::Move:
      if ((status_ & kShadowVisible) && window_) window_->move(ShadowPosition());
      break;
    case QEvent::Resize:
      if (status_ & kEnabled) OnParentSized(static_cast<QResizeEvent*>(event)->size());
      break;
    case QEvent::WindowStateChange:
      // A minimised window has no client area; the size it comes back with is growth.
      if (status_ & kEnabled) OnParentSized(parent_->isMinimized() ? QSize(0, 0) : parent_->size());
      break;
    case QEvent::Paint:
      if (updatePending_) {
        Refresh();
        updatePending_ = false;
      }
      break;
    case QEvent::Show:
      if (status_ & kEnabled) OnParentShown();
      break;
    case QEvent::Hide:
      if (status_ & kEnabled) OnParentHidden();
      break;
    default:
      break;
  }
}

void CWndShadow::OnParentSized(QSize clientSize) {
  if (parent_->isMinimized() || parent_->isMaximized()) {
    HideShadow();
  } else if (parent_->isVisible()) {
    // Growth waits for the parent's next paint, which follows it anyway; after shrinking the
    // old shadow would stick out, so it goes at once.
    if (clientSize.width() > lastParentSize_.width() || clientSize.height() > lastParentSize_.height()) {
      updatePending_ = true;
    } else {
      Refresh();
    }
    if (!(status_ & kShadowVisible)) {
      ShowWithoutActivating();
      status_ |= kShadowVisible;
    }
  }
  lastParentSize_ = clientSize;
}

void CWndShadow::OnParentShown() {
  if (status_ & kParentVisible) return;
  updatePending_ = true;
  ShowWithoutActivating();
  status_ |= kShadowVisible | kParentVisible;
}

void CWndShadow::OnParentHidden() {
  HideShadow();
  status_ &= ~kParentVisible;
}

}  // namespace zav
