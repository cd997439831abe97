#include "GlobalHotkeys.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>

#include "X11GlobalHotkeys.h"

namespace zav {
namespace {

// A session without global keys: every registration fails, as a taken combination would.
class UnavailableGlobalHotkeys final : public GlobalHotkeys {
 public:
  bool Register(int, HotkeyCombo) override { return false; }
  void Unregister(int) override {}
  void SetPressedHandler(PressedHandler) override {}
};

// The root window of the screen that DISPLAY names (Qt opens the same one).
uint32_t RootWindowInUse(xcb_connection_t* connection) {
  char* host = nullptr;
  int display = 0;
  int screen = 0;
  if (!xcb_parse_display(nullptr, &host, &display, &screen)) screen = 0;
  std::free(host);
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
  uint32_t root = it.rem > 0 ? it.data->root : 0;
  for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i) {
    if (i == screen) return it.data->root;
  }
  return root;
}

}  // namespace

std::unique_ptr<GlobalHotkeys> CreateGlobalHotkeys() {
  auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  auto* x11 = gui ? gui->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return std::make_unique<UnavailableGlobalHotkeys>();
  const uint32_t root = RootWindowInUse(connection);
  if (root == 0) return std::make_unique<UnavailableGlobalHotkeys>();
  return std::make_unique<X11GlobalHotkeys>(connection, root);
}

}  // namespace zav
