#pragma once
// CWndShadow: the soft drop shadow of a frameless window (the parent). The shadow is a window
// of its own: frameless, translucent, transparent to the mouse and never focused, owned by
// the parent and kept beside it by watching the parent's events (move, size, state, show,
// hide, paint, destruction). Its picture comes from RenderShadowImage.
//
// UI thread only, registry included.

#include <QColor>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <memory>

#include "ShadowImage.h"

class QEvent;

namespace zav {

class CWndShadow {
 public:
  static constexpr int kMaxExtent = 20;  // size and offsets lie in -20..20 pixels

  // Status bits.
  static constexpr unsigned kEnabled = 1;
  static constexpr unsigned kShadowVisible = 2;
  static constexpr unsigned kParentVisible = 4;

  // Called once at start-up, after the application object exists. False when it has run
  // before or when this platform cannot show a shadow window (no per-pixel alpha, or Wayland,
  // where the compositor places windows); shadows then stay off and AttachTo does nothing.
  static bool InitShadowSupport();
  // The same with the platform's answer given: for the offscreen platform, whose windows are
  // never composed on a screen but are still followed, sized and painted.
  static bool InitShadowSupport(bool perPixelAlpha);
  static bool ShadowsEnabled();
  // The shadow attached to parent, or nullptr.
  static CWndShadow* FindShadow(const QWidget* parent);

  CWndShadow();
  virtual ~CWndShadow();
  CWndShadow(const CWndShadow&) = delete;
  CWndShadow& operator=(const CWndShadow&) = delete;

  // Creates the shadow window for parent and starts following it; once per shadow, after
  // the parent exists. Does nothing while shadows are off.
  void AttachTo(QWidget* parent);

  // False (nothing changes) outside -20..20. A visible shadow is redrawn at once.
  bool SetShadowSize(int size);
  bool SetShadowOffset(int x, int y);
  bool SetShadowColor(const QColor& color);

  // Recomputes the picture from the parent's shape and puts the shadow window beside it.
  void Refresh();

  QWidget* Parent() const { return parent_; }
  QWidget* ShadowWindow() const;  // null until attached
  QImage ShadowImage() const;     // the picture the shadow window shows
  unsigned Status() const { return status_; }
  bool UpdatePending() const { return updatePending_; }
  int ShadowSize() const { return look_.size; }
  int OffsetX() const { return look_.offsetX; }
  int OffsetY() const { return look_.offsetY; }
  QColor ShadowColor() const { return QColor::fromRgb(look_.color); }
  int Darkness() const { return look_.darkness; }
  int Sharpness() const { return look_.sharpness; }

 private:
  class ParentWatcher;
  class Window;

  void OnParentEvent(QEvent* event);
  void OnParentSized(QSize clientSize);
  void OnParentShown();
  void OnParentHidden();
  void ShowWithoutActivating();
  void HideShadow();
  QPoint ShadowPosition() const;
  void Detach();

  QPointer<QWidget> parent_;
  QPointer<Window> window_;
  std::unique_ptr<ParentWatcher> watcher_;
  unsigned status_ = 0;
  QSize lastParentSize_{0, 0};
  bool updatePending_ = false;
  ShadowLook look_;
};

}  // namespace zav
