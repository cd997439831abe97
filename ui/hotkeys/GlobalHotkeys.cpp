#include "GlobalHotkeys.h"

#include <xcb/xcb.h>

#include <glog/logging.h>

#include <QDBusConnection>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>

#include "PortalGlobalHotkeys.h"
#include "X11GlobalHotkeys.h"

namespace zav {
namespace {

// A session without global keys: every binding fails, as a taken combination would.
class NoGlobalHotkeys final : public GlobalHotkeys {
 public:
  explicit NoGlobalHotkeys(std::string reason) : reason_(std::move(reason)) {
    LOG(WARNING) << "hotkeys: this desktop gives no global hotkeys: " << reason_;
  }
  void Bind(std::vector<HotkeyBinding> bindings, BoundHandler done) override {
    if (done) done(std::vector<bool>(bindings.size(), false));
  }
  void SetPressedHandler(PressedHandler) override {}
  std::string Unsupported() const override { return reason_; }

 private:
  std::string reason_;
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

std::unique_ptr<GlobalHotkeys> CreateNoGlobalHotkeys(std::string reason) {
  return std::make_unique<NoGlobalHotkeys>(std::move(reason));
}

std::unique_ptr<GlobalHotkeys> CreateGlobalHotkeys() {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb")) {
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = gui ? gui->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    const uint32_t root = connection ? RootWindowInUse(connection) : 0;
    if (root == 0) return CreateNoGlobalHotkeys("the X display gave no root window to grab keys on");
    return std::make_unique<X11GlobalHotkeys>(connection, root);
  }
  // Wayland lets no program grab keys; the desktop portal hands them out, where it has them.
  if (platform.startsWith(QLatin1String("wayland"))) {
    return std::make_unique<PortalGlobalHotkeys>(QDBusConnection::sessionBus());
  }
  return CreateNoGlobalHotkeys("the " + platform.toStdString() + " platform has no desktop keyboard");
}

}  // namespace zav
