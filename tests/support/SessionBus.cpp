#include "SessionBus.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"

namespace zav::test {
namespace {

constexpr std::chrono::seconds kStartTimeout{20};
constexpr std::chrono::milliseconds kPollInterval{10};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool HasLine(const std::string& text, const std::string& wanted) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line == wanted) return true;
  }
  return false;
}

// A session bus of its own: one socket, anyone of this user may own any name, no service
// folders (so nothing of the machine is activated).
std::string BusConfig(const std::string& socketPath) {
  return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <type>session</type>\n"
         "  <keep_umask/>\n"
         "  <listen>unix:path=" + socketPath + "</listen>\n"
         "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n"
         "    <allow own=\"*\"/>\n"
         "  </policy>\n"
         "</busconfig>\n";
}

}  // namespace

SessionBus::SessionBus() {
  const std::string program = FindProgram("dbus-daemon");
  if (program.empty()) {
    error_ = "dbus-daemon is not installed (package dbus-daemon; scripts/install-deps.sh --with-tests)";
    return;
  }
  char folderTemplate[] = "/tmp/zav-bus-XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) {
    error_ = "cannot make a temporary folder for the bus";
    return;
  }
  folder_ = folderTemplate;
  const std::string socketPath = folder_ + "/bus";
  const std::string configPath = folder_ + "/bus.conf";
  std::ofstream(configPath) << BusConfig(socketPath);
  const std::string logPath = folder_ + "/bus.log";
  pid_ = SpawnDaemon({program, "--nofork", "--nopidfile", "--config-file=" + configPath, "--print-address=1"},
                     BuildEnvironment({}), logPath);
  if (pid_ < 0) {
    error_ = "cannot start dbus-daemon";
    return;
  }
  // The daemon prints its address once it listens.
  const auto announced = [&] { return ReadFile(logPath).find("unix:path=" + socketPath) != std::string::npos; };
  if (WaitUntilReady(pid_, announced, kStartTimeout, kPollInterval)) {
    address_ = "unix:path=" + socketPath;
    running_ = true;
    return;
  }
  error_ = "dbus-daemon did not come up\n--- its log ---\n" + ReadFile(logPath);
}

SessionBus::~SessionBus() {
  StopDaemonAndRemoveFolder(pid_, folder_);
}

BusService::BusService(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& busAddress) {
  char logTemplate[] = "/tmp/zav-service-XXXXXX";
  const int fd = mkstemp(logTemplate);
  if (fd < 0) {
    error_ = "cannot make a log file for " + program;
    return;
  }
  close(fd);
  logPath_ = logTemplate;
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  pid_ = SpawnDaemon(argv,
                     BuildEnvironment({{"DBUS_SESSION_BUS_ADDRESS", busAddress},
                                       {"QT_QPA_PLATFORM", std::nullopt},
                                       {"DISPLAY", std::nullopt},
                                       {"WAYLAND_DISPLAY", std::nullopt}}),
                     logPath_);
  if (pid_ < 0) {
    error_ = "cannot start " + program;
    return;
  }
  if (WaitUntilReady(pid_, [&] { return HasLine(ReadLog(), "ready"); }, kStartTimeout, kPollInterval)) {
    running_ = true;
    return;
  }
  error_ = program + " did not come up\n--- its log ---\n" + ReadLog();
}

BusService::~BusService() {
  if (pid_ > 0) StopChild(pid_, std::chrono::seconds(5));
  if (!logPath_.empty()) std::remove(logPath_.c_str());
}

std::string BusService::ReadLog() const { return logPath_.empty() ? std::string() : ReadFile(logPath_); }

}  // namespace zav::test
