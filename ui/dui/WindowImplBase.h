#pragma once
// WindowImplBase: the base of every window. A Qt top-level widget that builds itself from its
// skin file, turns its controls' signals into Notify calls, receives posted messages in
// HandleCustomMessage, runs modal loops and deletes itself (OnFinalMessage) when it is done.
// Keys its controls leave alone: Escape closes a dialog with 0, as its title bar's close button
// does (its cancel); Enter clicks the focused button, or in a dialog its "primary" button. A
// window that closes with the keyboard hands it back to its owner.
//
// Windows belong to the UI thread; only PostMessage may be called from other threads.

#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>

#include "DialogBuilderCallback.h"
#include "Notify.h"

class QEventLoop;

namespace zav {

enum class WindowStyle {
  kMainFrame,  // top-level window: title bar, minimise and close buttons
  kDialog,     // owned by its owner window (stays above it), title bar and close button
  kPopup,      // frameless pop-up that closes when the user clicks elsewhere (menus)
};

class WindowImplBase : public QWidget, public IDialogBuilderCallback {
  Q_OBJECT

 public:
  WindowImplBase();
  ~WindowImplBase() override;

  // Makes the window (owned by owner, may be null), builds its controls from GetSkinFile(),
  // then runs InitWindow. False when the skin cannot be loaded; the window is then empty and
  // the caller should DestroyWindow() it.
  bool Create(QWidget* owner, const QString& caption, WindowStyle style = WindowStyle::kDialog);

  // Centres on the owner window when it is shown, else on the screen's work area.
  void CenterWindow();
  void ShowWindow(bool show = true, bool takeFocus = true);

  // Shows the window application-modal and runs a nested event loop until it closes; returns
  // the value given to Close (0 when closed any other way). The window is destroyed before
  // this returns (so a self-deleting window is gone).
  int ShowModal();

  // Asks the window to close with this result. OnClose may refuse. Non-modal windows are
  // destroyed from the event loop afterwards.
  void Close(int result = 0);

  // Hides the window and runs OnDestroy and OnFinalMessage (at most once).
  void DestroyWindow();

  // Sets the size of the client area exactly, whatever the skin's own size and minimum.
  void ResizeClient(int width, int height);
  void SetIcon(const QString& pictureFile);

  // Thread-safe: delivers (message, wParam, lParam) to HandleCustomMessage on the window's
  // thread. The window must outlive the call.
  void PostMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);

  // Thread-safe: runs task on the window's thread. Tasks still queued when the window is
  // deleted are dropped; a worker that posts must be joined before the window is deleted.
  void PostTask(std::function<void()> task);

  // Timers: OnTimer(id) every intervalMs until KillTimer(id). Setting a running id restarts it.
  void SetTimer(int id, int intervalMs);
  void KillTimer(int id);

  // Restores the window when minimised, shows it, raises and activates it, then raises the
  // application's open modal dialog, if any, above it. On Wayland, which lets a client do none
  // of that to a mapped window, a window without the focus is mapped anew.
  void BringToFront();

  // The root control built from the skin (null before Create).
  QWidget* Root() const { return root_; }
  // A control of the skin tree (rows added to its lists included) by name, or nullptr.
  QWidget* FindControl(const QString& name) const;
  template <typename T>
  T* FindControl(const QString& name) const {
    return root_ ? root_->findChild<T*>(name) : nullptr;
  }

  // Turns the signals of every named control under root into notifications of this window.
  // Create does it for the skin; row templates built later are bound by CDialogBuilder.
  void BindNotifications(QWidget* root);

  // Window properties: other code finds a window by a property it carries.
  void SetWindowProp(const char* name);
  static WindowImplBase* FindWindowWithProp(const char* name);

  bool IsInModalLoop() const { return modalLoop_ != nullptr; }

 protected:
  virtual QString GetWindowClassName() const { return {}; }
  virtual QString GetSkinFile() = 0;
  // Called by Create before the skin is built (window flags may still be changed here).
  virtual void OnCreate() {}
  // Called by Create after the controls exist.
  virtual void InitWindow() {}
  // Default handling: "click" from "closebtn" closes with 0, from "minbtn" minimises.
  virtual void Notify(TNotifyUI& msg);
  virtual intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam,
                                       bool& handled);
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  // closeParam: the value given to Close (0 for the title bar's close button). Setting handled
  // keeps the window open.
  virtual void OnClose(uintptr_t closeParam, bool& handled);
  virtual void OnDestroy() {}
  // Last call on a window; self-deleting windows do `delete this` here.
  virtual void OnFinalMessage() {}
  virtual void OnTimer(int id);
  virtual void OnKillFocus() {}
  // Window activation changes; return true to answer them without the default handling
  // (the window then keeps its active look).
  virtual bool OnNcActivate(bool active);

  void SetFrameless(bool frameless);

  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Deliver(const QString& type, QWidget* sender, uintptr_t wParam);
  void ReturnKeyboardToOwner();

  QWidget* root_ = nullptr;
  QEventLoop* modalLoop_ = nullptr;
  int result_ = 0;
  uintptr_t closeParam_ = 0;
  bool closing_ = false;
  bool destroyed_ = false;
  std::map<int, int> timers_;  // our id -> Qt timer id
  bool dragging_ = false;
  QPoint dragOffset_;
};

}  // namespace zav
