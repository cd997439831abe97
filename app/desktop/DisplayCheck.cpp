#include "DisplayCheck.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <sstream>

namespace zav {
namespace {

// The platform Qt would use: the first entry of QT_QPA_PLATFORM ("wayland;xcb", "xcb:opt")
// that can work here, "" for Qt's own choice, or nullopt-like "!" when none can.
std::string UsablePlatform(const EnvironmentReader& environment) {
  const bool hasX = !environment("DISPLAY").empty();
  const bool hasWayland = !environment("WAYLAND_DISPLAY").empty();
  const std::string platforms = environment("QT_QPA_PLATFORM");
  if (platforms.empty()) return hasX || hasWayland ? "" : "!";
  std::stringstream entries(platforms);
  std::string entry;
  while (std::getline(entries, entry, ';')) {
    const std::string name = entry.substr(0, entry.find(':'));
    if (name == "xcb") {
      if (hasX) return name;
    } else if (name.rfind("wayland", 0) == 0) {
      if (hasWayland) return name;
    } else {
      return name;  // offscreen, vnc, eglfs ... bring their own output
    }
  }
  return "!";
}

}  // namespace

void XcbDisconnect::operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }

std::string MissingDisplayReason(const EnvironmentReader& environment) {
  if (UsablePlatform(environment) != "!") return {};
  const std::string platforms = environment("QT_QPA_PLATFORM");
  if (platforms.empty()) return "neither DISPLAY nor WAYLAND_DISPLAY is set";
  return "QT_QPA_PLATFORM is " + platforms + ", but the display it needs (DISPLAY or WAYLAND_DISPLAY) is not set";
}

std::string CheckDisplay(DisplayHold* hold) {
  const EnvironmentReader environment = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  std::string reason = MissingDisplayReason(environment);
  if (!reason.empty()) return reason;
  // An X display that is named but gone (a closed remote session) makes Qt abort as well.
  const std::string platform = UsablePlatform(environment);
  const bool onX = platform == "xcb" || (platform.empty() && environment("WAYLAND_DISPLAY").empty());
  if (!onX) return {};
  DisplayHold connection(xcb_connect(nullptr, nullptr));
  if (xcb_connection_has_error(connection.get()) != 0) return "the X display " + environment("DISPLAY") + " does not answer";
  *hold = std::move(connection);
  return {};
}

}  // namespace zav
