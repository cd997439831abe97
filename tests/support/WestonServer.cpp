#include "WestonServer.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"

namespace zav::test {
namespace {

constexpr std::chrono::seconds kStartTimeout{20};
constexpr std::chrono::milliseconds kPollInterval{10};
constexpr char kSocketName[] = "wayland-zav";

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// True once a client can connect to the socket at path (it exists and is listened on).
bool Accepts(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return connected;
}

}  // namespace

WestonServer::WestonServer() {
  const std::string program = FindProgram("weston");
  if (program.empty()) {
    error_ = "weston is not installed (package weston; scripts/install-deps.sh --with-tests)";
    return;
  }
  char folderTemplate[] = "/tmp/zav-wayland-XXXXXX";  // mkdtemp makes it 0700, as Wayland wants
  if (mkdtemp(folderTemplate) == nullptr) {
    error_ = "cannot make a runtime folder for weston";
    return;
  }
  folder_ = folderTemplate;
  const std::string logPath = folder_ + "/weston.log";
  // No weston.ini of the user's; nothing in the session times out.
  pid_ = SpawnDaemon({program, "--backend=headless-backend.so", "--socket=" + std::string(kSocketName),
                      "--idle-time=0", "--no-config", "--width=1280", "--height=800"},
                     BuildEnvironment({{"XDG_RUNTIME_DIR", folder_},
                                       {"WAYLAND_DISPLAY", std::nullopt},
                                       {"WAYLAND_SOCKET", std::nullopt},
                                       {"DISPLAY", std::nullopt}}),
                     logPath);
  if (pid_ < 0) {
    error_ = "cannot start weston";
    return;
  }
  const std::string socketPath = folder_ + "/" + kSocketName;
  if (WaitUntilReady(pid_, [&] { return Accepts(socketPath); }, kStartTimeout, kPollInterval)) {
    display_ = kSocketName;
    running_ = true;
    return;
  }
  error_ = "weston did not come up\n--- its log ---\n" + ReadFile(logPath);
}

WestonServer::~WestonServer() {
  StopDaemonAndRemoveFolder(pid_, folder_);
}

}  // namespace zav::test
