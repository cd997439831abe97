#include "AccessibilityBus.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"

namespace zav::test {
namespace {

// Where Debian and other distributions install the launcher.
const char* const kLauncherPaths[] = {"/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher",
                                      "/usr/lib/at-spi2/at-spi-bus-launcher"};

}  // namespace

AccessibilityBus::AccessibilityBus(const std::string& sessionBusAddress, const std::string& display) {
  std::string launcher;
  for (const char* path : kLauncherPaths) {
    if (std::filesystem::exists(path)) {
      launcher = path;
      break;
    }
  }
  if (launcher.empty()) {
    error_ = "at-spi-bus-launcher is not installed (package at-spi2-core; scripts/install-deps.sh --with-tests)";
    return;
  }
  char folderTemplate[] = "/tmp/zav-a11y-XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) {
    error_ = "cannot make a temporary folder for the accessibility bus";
    return;
  }
  folder_ = folderTemplate;
  runtimeDir_ = folder_ + "/runtime";
  std::filesystem::create_directory(runtimeDir_);
  chmod(runtimeDir_.c_str(), 0700);
  logPath_ = folder_ + "/launcher.log";
  // --launch-immediately: the bus starts now, whatever the desktop's accessibility setting.
  pid_ = SpawnDaemon({launcher, "--launch-immediately"},
                     BuildEnvironment({{"DBUS_SESSION_BUS_ADDRESS", sessionBusAddress},
                                       {"DISPLAY", display},
                                       {"XDG_RUNTIME_DIR", runtimeDir_},
                                       {"AT_SPI_BUS_ADDRESS", std::nullopt},
                                       {"WAYLAND_DISPLAY", std::nullopt}}),
                     logPath_);
  if (pid_ < 0) error_ = "cannot start " + launcher;
}

AccessibilityBus::~AccessibilityBus() {
  // The launcher ends its bus, and the registry ends with the bus.
  StopDaemonAndRemoveFolder(pid_, folder_);
}

std::string AccessibilityBus::ReadLog() const {
  std::ifstream file(logPath_);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace zav::test
