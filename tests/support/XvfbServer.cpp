#include "XvfbServer.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ChildProcess.h"

namespace zav::test {
namespace {

// A loaded machine may take a while to bring a server up; a healthy one needs well under a second.
constexpr std::chrono::seconds kStartTimeout{20};
constexpr std::chrono::milliseconds kPollInterval{20};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// ":N" for the display number that Xvfb printed when it became ready, or empty.
std::string AnnouncedDisplay(const std::string& announcement) {
  std::istringstream lines(announcement);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) return ":" + line;
  }
  return {};
}

}  // namespace

XvfbServer::XvfbServer() {
  const std::string program = FindProgram("Xvfb");
  if (program.empty()) {
    error_ = "Xvfb is not installed (package xvfb; scripts/install-deps.sh --with-tests)";
    return;
  }
  char folderTemplate[] = "/tmp/zav-xvfb-XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) {
    error_ = "cannot make a temporary folder for Xvfb";
    return;
  }
  folder_ = folderTemplate;
  const std::string logPath = folder_ + "/xvfb.log";
  // -displayfd: the server picks a free display number itself and prints it on its standard
  // output (into the log, on a line of its own) once it takes connections.
  pid_ = SpawnDaemon({program, "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
                     BuildEnvironment({}), logPath);
  if (pid_ < 0) {
    error_ = "cannot start Xvfb";
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    display_ = AnnouncedDisplay(ReadFile(logPath));
    if (!display_.empty()) {
      running_ = true;
      return;
    }
    if (HasExited(pid_)) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  error_ = "Xvfb did not come up\n--- Xvfb log ---\n" + ReadFile(logPath);
}

XvfbServer::~XvfbServer() {
  if (pid_ > 0) StopChild(pid_, std::chrono::seconds(5));
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

}  // namespace zav::test
