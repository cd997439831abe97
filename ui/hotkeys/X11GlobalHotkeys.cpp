#include "X11GlobalHotkeys.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <glog/logging.h>

#include <QByteArray>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

namespace zav {
namespace {

// Keysyms (X11/keysymdef.h) of the keys the combinations use.
constexpr xcb_keysym_t kKeysymF1 = 0xffbe;  // F1..F12 are consecutive
constexpr xcb_keysym_t kKeysymNumLock = 0xff7f;
constexpr xcb_keysym_t kKeysymAltL = 0xffe9;
constexpr xcb_keysym_t kKeysymSuperL = 0xffeb;

constexpr uint16_t kMod1 = XCB_MOD_MASK_1;
constexpr uint16_t kMod4 = XCB_MOD_MASK_4;
constexpr uint16_t kModifierBits = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_CONTROL |
                                   XCB_MOD_MASK_1 | XCB_MOD_MASK_2 | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 |
                                   XCB_MOD_MASK_5;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
// Replies, errors and keycode lists that xcb hands over to be freed with free().
template <typename T>
using XcbOwned = std::unique_ptr<T, FreeDeleter>;

struct KeySymbolsDeleter {
  void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter>;

std::vector<uint8_t> KeycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
  std::vector<uint8_t> keycodes;
  const XcbOwned<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols, keysym));
  for (const xcb_keycode_t* code = codes.get(); code && *code != XCB_NO_SYMBOL; ++code) {
    if (std::find(keycodes.begin(), keycodes.end(), *code) == keycodes.end()) keycodes.push_back(*code);
  }
  return keycodes;
}

// The modifier bit that a key is mapped to (Num_Lock is usually Mod2, Alt_L Mod1), 0 when none.
uint16_t ModifierMaskOf(xcb_connection_t* connection, xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
  const std::vector<uint8_t> keycodes = KeycodesOf(symbols, keysym);
  if (keycodes.empty()) return 0;
  const XcbOwned<xcb_get_modifier_mapping_reply_t> map(
      xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
  if (!map) return 0;
  const xcb_keycode_t* mapped = xcb_get_modifier_mapping_keycodes(map.get());
  const int perModifier = map->keycodes_per_modifier;
  for (int modifier = 0; modifier < 8; ++modifier) {
    for (int i = 0; i < perModifier; ++i) {
      const xcb_keycode_t code = mapped[modifier * perModifier + i];
      if (code != 0 && std::find(keycodes.begin(), keycodes.end(), code) != keycodes.end()) {
        return static_cast<uint16_t>(1u << modifier);
      }
    }
  }
  return 0;
}

struct XKeys {
  uint16_t modifiers = 0;
  uint16_t numLock = 0;
  std::vector<uint8_t> keycodes;
};

// The combination in this server's keys, or nullopt when it has none (an unknown modifier flag,
// a key other than F1-F12, or a keyboard without the key).
std::optional<XKeys> ResolveCombo(xcb_connection_t* connection, HotkeyCombo combo) {
  constexpr int kKnownFlags = kHotkeyAlt | kHotkeyCtrl | kHotkeyShift | kHotkeyWin;
  if (combo.modifiers == 0 || (combo.modifiers & ~kKnownFlags) != 0) return std::nullopt;
  if (combo.virtualKey < kVirtualKeyF1 || combo.virtualKey > kVirtualKeyF12) return std::nullopt;
  const KeySymbols symbols(xcb_key_symbols_alloc(connection));
  if (!symbols) return std::nullopt;

  XKeys keys;
  if (combo.modifiers & kHotkeyAlt) {
    const uint16_t alt = ModifierMaskOf(connection, symbols.get(), kKeysymAltL);
    keys.modifiers |= alt ? alt : kMod1;
  }
  if (combo.modifiers & kHotkeyCtrl) keys.modifiers |= XCB_MOD_MASK_CONTROL;
  if (combo.modifiers & kHotkeyShift) keys.modifiers |= XCB_MOD_MASK_SHIFT;
  if (combo.modifiers & kHotkeyWin) {
    const uint16_t super = ModifierMaskOf(connection, symbols.get(), kKeysymSuperL);
    keys.modifiers |= super ? super : kMod4;
  }
  keys.numLock = ModifierMaskOf(connection, symbols.get(), kKeysymNumLock);
  keys.keycodes = KeycodesOf(symbols.get(), kKeysymF1 + static_cast<xcb_keysym_t>(combo.virtualKey - kVirtualKeyF1));
  if (keys.keycodes.empty()) return std::nullopt;
  return keys;
}

// Every mix of the lock bits in ignoredLocks (CapsLock, NumLock): none, each, all.
std::vector<uint16_t> LockVariants(uint16_t ignoredLocks) {
  std::vector<uint16_t> variants = {0};
  for (unsigned bit = 1; bit <= ignoredLocks; bit <<= 1) {
    if ((ignoredLocks & bit) == 0) continue;
    const std::size_t count = variants.size();
    for (std::size_t i = 0; i < count; ++i) variants.push_back(static_cast<uint16_t>(variants[i] | bit));
  }
  return variants;
}

}  // namespace

X11GlobalHotkeys::X11GlobalHotkeys(xcb_connection_t* connection, uint32_t rootWindow)
    : connection_(connection),
      root_(rootWindow),
      hook_([this](const QByteArray& eventType, void* message) { return OnNativeEvent(eventType, message); }) {}

X11GlobalHotkeys::~X11GlobalHotkeys() {
  for (const auto& [id, grab] : grabs_) Ungrab(grab);
}

void X11GlobalHotkeys::Bind(std::vector<HotkeyBinding> bindings, BoundHandler done) {
  std::vector<int> unwanted;
  for (const auto& [id, grab] : grabs_) {
    const auto wanted = std::find_if(bindings.begin(), bindings.end(),
                                     [id = id](const HotkeyBinding& binding) { return binding.id == id; });
    if (wanted == bindings.end() || !(wanted->combo == grab.combo)) unwanted.push_back(id);
  }
  // Freed first: a combination moving from one id to the other is free when the other asks.
  for (const int id : unwanted) Unregister(id);
  std::vector<bool> held;
  for (const HotkeyBinding& binding : bindings) {
    held.push_back(grabs_.count(binding.id) != 0 || Register(binding.id, binding.combo));
  }
  if (done) done(held);
}

bool X11GlobalHotkeys::Register(int id, HotkeyCombo combo) {
  if (grabs_.count(id) != 0) return false;
  // The server would let us grab our own combination twice, the second grab replacing the
  // first; two ids on one combination must fail like a combination held by another program.
  for (const auto& [otherId, grab] : grabs_) {
    if (grab.combo == combo) return false;
  }
  const std::optional<XKeys> keys = ResolveCombo(connection_, combo);
  if (!keys) return false;

  Grab grab{combo, keys->modifiers, static_cast<uint16_t>(XCB_MOD_MASK_LOCK | keys->numLock), keys->keycodes};
  std::vector<xcb_void_cookie_t> cookies;
  for (const uint8_t keycode : grab.keycodes) {
    for (const uint16_t locks : LockVariants(grab.ignoredLocks)) {
      // Not owner events: the press goes to the root window even when one of our own windows
      // has the focus, so the hook sees every press.
      cookies.push_back(xcb_grab_key_checked(connection_, 0, root_, grab.modifiers | locks, keycode,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
  }
  bool granted = true;
  for (const xcb_void_cookie_t cookie : cookies) {
    const XcbOwned<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
    if (error) granted = false;
  }
  if (!granted) {
    // Releases only what this client got; another client's grab of the same keys stays.
    Ungrab(grab);
    return false;
  }
  grabs_.emplace(id, std::move(grab));
  return true;
}

void X11GlobalHotkeys::Unregister(int id) {
  const auto it = grabs_.find(id);
  if (it == grabs_.end()) return;
  Ungrab(it->second);
  grabs_.erase(it);
}

void X11GlobalHotkeys::Ungrab(const Grab& grab) {
  std::vector<xcb_void_cookie_t> cookies;
  for (const uint8_t keycode : grab.keycodes) {
    for (const uint16_t locks : LockVariants(grab.ignoredLocks)) {
      cookies.push_back(xcb_ungrab_key_checked(connection_, keycode, root_, grab.modifiers | locks));
    }
  }
  // Waiting for the answers makes the combination free for other programs before this returns.
  for (const xcb_void_cookie_t cookie : cookies) {
    const XcbOwned<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
    if (error) LOG(WARNING) << "hotkey: ungrab failed, X error " << static_cast<int>(error->error_code);
  }
}

bool X11GlobalHotkeys::OnNativeEvent(const QByteArray& eventType, void* message) {
  if (eventType != QByteArrayLiteral("xcb_generic_event_t") || !message) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & ~0x80) != XCB_KEY_PRESS) return false;
  const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
  if (press->event != root_) return false;
  for (const auto& [id, grab] : grabs_) {
    const uint16_t state = press->state & kModifierBits & ~grab.ignoredLocks;
    if (state != grab.modifiers) continue;
    if (std::find(grab.keycodes.begin(), grab.keycodes.end(), press->detail) == grab.keycodes.end()) continue;
    if (handler_) handler_(id);
    return true;
  }
  return false;
}

}  // namespace zav
