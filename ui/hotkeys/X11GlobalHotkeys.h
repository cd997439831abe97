#pragma once
// Global hotkeys on X11: passive key grabs on the root window through xcb. A grab is a checked
// request, so a combination that another client holds fails at once instead of being taken
// half. Every combination is grabbed four times, with and without CapsLock and NumLock, so
// the keys work whatever those locks are. Presses arrive among the application's own xcb
// events and are picked out by a native event hook.
//
// UI thread only.

#include <cstdint>
#include <map>
#include <vector>

#include "GlobalHotkeys.h"
#include "dui/NativeEventHook.h"

class QByteArray;
struct xcb_connection_t;

namespace zav {

class X11GlobalHotkeys final : public GlobalHotkeys {
 public:
  // connection: the application's own X connection (its events reach the hook); it must
  // outlive this object. rootWindow: the root window of the screen in use.
  X11GlobalHotkeys(xcb_connection_t* connection, uint32_t rootWindow);
  // Frees every combination still held.
  ~X11GlobalHotkeys() override;

  // Grabs change one id at a time, in the request's order; done is called before this returns.
  void Bind(std::vector<HotkeyBinding> bindings, BoundHandler done) override;
  void SetPressedHandler(PressedHandler handler) override { handler_ = std::move(handler); }
  std::string Unsupported() const override { return {}; }

 private:
  struct Grab {
    HotkeyCombo combo;
    uint16_t modifiers = 0;      // X modifier mask of the combination
    uint16_t ignoredLocks = 0;   // CapsLock and NumLock masks, whose state does not matter
    std::vector<uint8_t> keycodes;
  };

  // False when another program or another id holds combo, or it has no keys here.
  bool Register(int id, HotkeyCombo combo);
  void Unregister(int id);
  void Ungrab(const Grab& grab);
  bool OnNativeEvent(const QByteArray& eventType, void* message);

  xcb_connection_t* connection_;
  uint32_t root_;
  std::map<int, Grab> grabs_;
  PressedHandler handler_;
  NativeEventHook hook_;
};

}  // namespace zav
