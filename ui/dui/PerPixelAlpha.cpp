#include "PerPixelAlpha.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace zav {

namespace {

struct FreeDeleter {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using XcbReply = std::unique_ptr<Reply, FreeDeleter>;

bool X11CompositorRunning() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return false;
  int screen = 0;
  char* host = nullptr;
  int display = 0;
  if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) screen = 0;
  std::free(host);

  const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
  const XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr));
  if (!atom || atom->atom == XCB_ATOM_NONE) return false;  // nobody ever announced one
  const XcbReply<xcb_get_selection_owner_reply_t> owner(
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
  return owner && owner->owner != XCB_WINDOW_NONE;
}

}  // namespace

bool PlatformShowsPerPixelAlpha(QStringView platformName, bool x11CompositorRunning) {
  if (platformName == u"wayland" || platformName.startsWith(u"wayland-")) return true;
  if (platformName == u"xcb") return x11CompositorRunning;
  return false;
}

bool ThisPlatformShowsPerPixelAlpha() {
  const QString platform = QGuiApplication::platformName();
  return PlatformShowsPerPixelAlpha(platform, platform == QLatin1String("xcb") && X11CompositorRunning());
}

bool ThisPlatformShowsShadowWindows() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && ThisPlatformShowsPerPixelAlpha();
}

}  // namespace zav
