#include "XvfbServer.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

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
  const auto announced = [&] {
    display_ = AnnouncedDisplay(ReadFile(logPath));
    return !display_.empty();
  };
  if (WaitUntilReady(pid_, announced, kStartTimeout, kPollInterval)) {
    running_ = true;
    return;
  }
  error_ = "Xvfb did not come up\n--- Xvfb log ---\n" + ReadFile(logPath);
}

XvfbServer::~XvfbServer() {
  StopDaemonAndRemoveFolder(pid_, folder_);
}

}  // namespace zav::test
