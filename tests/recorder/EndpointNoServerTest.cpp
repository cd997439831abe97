// The endpoint functions when there is no sound server, or one that never answers: every
// call gives its "no device" answer and returns instead of hanging.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pulse/MixerWrap.h"

namespace zav {
namespace {

// Far above the functions' own budget of about a second: this checks that they return at
// all, not how fast.
constexpr std::chrono::seconds kReturnsWithin{3};

class ScopedPulseServer {
 public:
  explicit ScopedPulseServer(const std::string& address) {
    if (const char* previous = std::getenv("PULSE_SERVER")) previous_ = previous;
    setenv("PULSE_SERVER", address.c_str(), 1);
  }
  ~ScopedPulseServer() {
    if (previous_) {
      setenv("PULSE_SERVER", previous_->c_str(), 1);
    } else {
      unsetenv("PULSE_SERVER");
    }
  }

 private:
  std::optional<std::string> previous_;
};

// A socket that takes connections into its backlog and never says a word.
class SilentServer {
 public:
  SilentServer() {
    char folder[] = "/tmp/zav-silent-XXXXXX";
    if (mkdtemp(folder) == nullptr) return;
    folder_ = folder;
    path_ = folder_ + "/native";
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    listening_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                 listen(fd_, 16) == 0;
  }
  ~SilentServer() {
    if (fd_ >= 0) close(fd_);
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  bool listening() const { return listening_; }
  std::string address() const { return "unix:" + path_; }

 private:
  std::string folder_;
  std::string path_;
  int fd_ = -1;
  bool listening_ = false;
};

// Calls every function and checks its "no device" answer and that each one returned in time.
void ExpectNoDeviceAnswers() {
  using Clock = std::chrono::steady_clock;
  auto check = [](const char* what, auto&& call) {
    const auto start = Clock::now();
    call();
    EXPECT_LT(Clock::now() - start, kReturnsWithin) << what << " did not return in time";
  };

  check("EnumerateCaptureDevices", [] {
    std::vector<CaptureDeviceEntry> devices(2);
    EXPECT_LT(EnumerateCaptureDevices(&devices), 0);
    EXPECT_TRUE(devices.empty());
  });
  check("GetMicrophoneName", [] {
    std::u16string name = u"unchanged";
    EXPECT_FALSE(GetMicrophoneName(&name));
    EXPECT_EQ(name, u"unchanged");
  });
  check("GetMicrophoneVolume", [] {
    int volume = 42;
    GetMicrophoneVolume(&volume);
    EXPECT_EQ(volume, 42);
  });
  check("HasOutputDevice", [] { EXPECT_FALSE(HasOutputDevice()); });
  check("GetSpeakerVolume", [] {
    float volume = 42.0f;
    EXPECT_FALSE(GetSpeakerVolume(&volume));
    EXPECT_EQ(volume, 42.0f);
  });
  check("SetMicrophoneVolume", [] { EXPECT_FALSE(SetMicrophoneVolume(false, 50.0f)); });
  check("SetSpeakerVolume", [] { EXPECT_FALSE(SetSpeakerVolume(50.0f)); });
  check("GetMicrophoneSourceName", [] {
    std::string name = "unchanged";
    EXPECT_FALSE(GetMicrophoneSourceName(&name));
    EXPECT_EQ(name, "unchanged");
  });
  check("GetDefaultSinkMonitorName", [] {
    std::string name = "unchanged";
    EXPECT_FALSE(GetDefaultSinkMonitorName(&name));
    EXPECT_EQ(name, "unchanged");
  });
}

TEST(EndpointsWithoutServer, EveryFunctionAnswersNoDevice) {
  ScopedPulseServer noServer("unix:/nonexistent/zav-test/native");
  ExpectNoDeviceAnswers();
}

TEST(EndpointsWithoutServer, AServerThatNeverAnswersDoesNotHangAnyCall) {
  SilentServer silent;
  ASSERT_TRUE(silent.listening());
  ScopedPulseServer stuck(silent.address());
  ExpectNoDeviceAnswers();
}

}  // namespace
}  // namespace zav
