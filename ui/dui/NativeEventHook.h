#pragma once
// NativeEventHook: shows a piece of the program the platform's own events before Qt handles
// them (on X11 every xcb event the application reads, such as key presses of grabbed keys on
// the root window, which no Qt window would receive). Installed on the application while the
// object lives.
//
// UI thread only: make and destroy it there; the handler runs there.

#include <QAbstractNativeEventFilter>
#include <QByteArray>

#include <functional>

namespace zav {

class NativeEventHook final : public QAbstractNativeEventFilter {
 public:
  // eventType is "xcb_generic_event_t" on X11, and message then points at the event. The
  // handler returns true to keep the event from Qt.
  using Handler = std::function<bool(const QByteArray& eventType, void* message)>;

  explicit NativeEventHook(Handler handler);
  ~NativeEventHook() override;
  NativeEventHook(const NativeEventHook&) = delete;
  NativeEventHook& operator=(const NativeEventHook&) = delete;

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  Handler handler_;
};

}  // namespace zav
