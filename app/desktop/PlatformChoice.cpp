#include "PlatformChoice.h"

namespace zav {

std::string ChooseQtPlatform(const EnvironmentReader& environment) {
  if (!environment("QT_QPA_PLATFORM").empty()) return {};
  const std::string session = environment("XDG_SESSION_TYPE");
  const bool hasX = !environment("DISPLAY").empty();
  const bool hasWayland = !environment("WAYLAND_DISPLAY").empty();
  // A Wayland display left over in an X11 session (a nested compositor) is not the session's.
  if (session == "x11" && hasX) return "xcb";
  // A Wayland session that names no Wayland display still has the default one (wayland-0);
  // X is then the fallback.
  if (hasWayland) return hasX ? "wayland;xcb" : "wayland";
  if (session == "wayland" && hasX) return "wayland;xcb";
  if (hasX) return "xcb";
  return {};
}

}  // namespace zav
