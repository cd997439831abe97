#include "PulseServer.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "EchoScene.h"

namespace zav::test {
namespace {

constexpr std::chrono::milliseconds kStartTimeoutMs{15000};
constexpr std::chrono::milliseconds kProbeIntervalMs{20};
constexpr std::chrono::milliseconds kPactlTimeoutMs{10000};
constexpr std::chrono::milliseconds kStopGraceMs{5000};
constexpr char kPulseServerVariable[] = "PULSE_SERVER";

// True when something accepts connections on the socket. The server listens as soon as its
// protocol module is loaded; requests are served once its main loop runs.
bool SocketAccepts(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return ok;
}

std::string ToneArgument(int hz) { return "frequency=" + std::to_string(hz); }

std::string DescriptionArgument(const char* kind, const char* description) {
  return std::string(kind) + "_properties=device.description=" + description;
}

}  // namespace

PulseServer::PulseServer(PulseServerOptions options) : options_(options) {
  running_ = Start();
  if (!running_) Stop();
}

PulseServer::~PulseServer() { Stop(); }

bool PulseServer::Start() {
  char folderTemplate[] = "/tmp/zav-pulse-XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) {
    Fail("cannot create a temporary folder");
    return false;
  }
  folder_ = folderTemplate;
  const std::string runtime = folder_ + "/runtime";
  const std::string home = folder_ + "/home";
  const std::string state = folder_ + "/state";
  for (const std::string& path : {runtime, home, state}) {
    if (mkdir(path.c_str(), 0700) != 0) {
      Fail("cannot create " + path);
      return false;
    }
  }
  socketPath_ = runtime + "/native";
  logPath_ = folder_ + "/pulseaudio.log";
  address_ = "unix:" + socketPath_;
  if (!StartDaemon()) return false;

  const char* previous = std::getenv(kPulseServerVariable);
  if (previous != nullptr) previousPulseServer_ = previous;
  setenv(kPulseServerVariable, address_.c_str(), 1);
  environmentSet_ = true;
  return LoadStartModules();
}

bool PulseServer::StartDaemon() {
  const std::string runtime = folder_ + "/runtime";
  const std::string home = folder_ + "/home";
  const std::string state = folder_ + "/state";
  const std::string program = FindProgram("pulseaudio");
  if (program.empty()) {
    Fail("pulseaudio is not installed (scripts/install-deps.sh --with-tests installs it)");
    return false;
  }
  // Running as root works without --system: the daemon only warns. --realtime/--high-priority
  // are off because root would otherwise get real-time scheduling. There is no session D-Bus on
  // CI, and with a DISPLAY libdbus would autolaunch a bus daemon that outlives the test, so the
  // bus address points at a socket that does not exist and DISPLAY is removed.
  const std::vector<std::string> argv = {
      program,
      "-n",
      "--daemonize=no",
      "--exit-idle-time=-1",
      "--use-pid-file=no",
      "--system=no",
      "--realtime=no",
      "--high-priority=no",
      "--disallow-exit=no",
      "--log-target=stderr",
      "--log-level=notice",
      "-L",
      "module-native-protocol-unix socket=" + socketPath_ + " auth-anonymous=1",
  };
  const EnvironmentChanges changes = {
      {"XDG_RUNTIME_DIR", runtime},
      {"HOME", home},
      {"XDG_CONFIG_HOME", home + "/.config"},
      {"PULSE_RUNTIME_PATH", runtime},
      {"PULSE_STATE_PATH", state},
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + folder_ + "/no-session-bus"},
      {"DISPLAY", std::nullopt},
      {"WAYLAND_DISPLAY", std::nullopt},
      {"PULSE_SERVER", std::nullopt},
  };
  pid_ = SpawnDaemon(argv, BuildEnvironment(changes), logPath_);
  if (pid_ < 0) {
    Fail("cannot start pulseaudio");
    return false;
  }
  if (!WaitUntilAnswering()) return false;
  if (!readers_.Connect(address_)) {
    Fail("the low-latency readers cannot connect");
    return false;
  }
  return true;
}

bool PulseServer::Kill() {
  if (pid_ <= 0) return false;
  readers_.Close();
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  frozen_ = false;
  microphoneModules_.clear();
  outputModule_ = outputToneModule_ = -1;
  return true;
}

bool PulseServer::Restart(int sampleRate, int outputChannels) {
  if (pid_ > 0) Kill();
  if (sampleRate > 0) options_.sampleRate = sampleRate;
  if (outputChannels > 0) options_.outputChannels = outputChannels;
  running_ = StartDaemon() && LoadStartModules();
  return running_;
}

bool PulseServer::Freeze() {
  if (pid_ <= 0 || kill(pid_, SIGSTOP) != 0) return false;
  frozen_ = true;
  return true;
}

bool PulseServer::Thaw() {
  if (pid_ <= 0 || kill(pid_, SIGCONT) != 0) return false;
  frozen_ = false;
  return true;
}

bool PulseServer::WaitUntilAnswering() {
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeoutMs;
  while (!SocketAccepts(socketPath_)) {
    if (HasExited(pid_)) {
      pid_ = -1;
      Fail("pulseaudio exited during start");
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      Fail("pulseaudio did not open its socket in time");
      return false;
    }
    std::this_thread::sleep_for(kProbeIntervalMs);
  }
  if (!Pactl({"info"})) {
    Fail("pulseaudio does not answer");
    return false;
  }
  return true;
}

bool PulseServer::LoadStartModules() {
  const std::string rate = "rate=" + std::to_string(options_.sampleRate);
  outputModule_ = LoadModule("module-null-sink", std::string("sink_name=") + kOutputSink + " " + rate +
                                                     " channels=" + std::to_string(options_.outputChannels) + " " +
                                                     DescriptionArgument("sink", kOutputDescription));
  if (outputModule_ < 0 || !SetDefaultSink(kOutputSink)) return false;
  if (options_.keepOutputFlowing && !KeepLowLatency(kOutputSink)) return false;

  const std::string micDescription = DescriptionArgument("source", kMicrophoneDescription);
  switch (options_.microphone) {
    case MicrophoneKind::kNone:
      break;
    case MicrophoneKind::kSineTone: {
      const int module = LoadModule("module-sine-source", std::string("source_name=") + kMicrophoneSource +
                                                              " " + rate + " " +
                                                              ToneArgument(options_.microphoneToneHz) + " " +
                                                              micDescription);
      if (module < 0) return false;
      microphoneModules_.push_back(module);
      break;
    }
    case MicrophoneKind::kFedSink: {
      const int feed = LoadModule("module-null-sink", std::string("sink_name=") + kMicrophoneFeedSink + " " +
                                                          rate + " channels=2");
      if (feed < 0) return false;
      microphoneModules_.push_back(feed);
      // The remapped monitor is an ordinary input, as a microphone is.
      const int remap = LoadModule("module-remap-source", std::string("master=") + kMicrophoneFeedSink +
                                                               ".monitor source_name=" + kMicrophoneSource +
                                                               " " + micDescription);
      if (remap < 0) return false;
      microphoneModules_.insert(microphoneModules_.begin(), remap);  // unloaded before its master
      if (!KeepLowLatency(kMicrophoneFeedSink)) return false;
      break;
    }
  }
  // The feed sink must not become the default output.
  if (!SetDefaultSink(kOutputSink)) return false;
  if (options_.microphone != MicrophoneKind::kNone && !SetDefaultSource(kMicrophoneSource)) return false;

  if (options_.outputToneHz > 0) {
    outputToneModule_ = PlayTone(kOutputSink, options_.outputToneHz);
    if (outputToneModule_ < 0) return false;
  }
  return true;
}

std::string PulseServer::ReadLog() const {
  std::ifstream file(logPath_);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool PulseServer::Pactl(const std::vector<std::string>& arguments, std::string* output) {
  std::vector<std::string> argv = {"pactl"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const CommandResult result =
      RunCommand(argv, {{"PULSE_SERVER", address_}, {"LC_ALL", "C"}}, kPactlTimeoutMs);
  if (output != nullptr) *output = result.output;
  if (result.finished && result.exitCode == 0) return true;
  std::string command;
  for (const std::string& part : argv) command += part + " ";
  error_ = command + (result.finished ? "failed: " : "timed out: ") + result.output;
  return false;
}

int PulseServer::LoadModule(const std::string& name, const std::string& arguments) {
  std::vector<std::string> command = {"load-module", name};
  if (!arguments.empty()) command.push_back(arguments);
  std::string output;
  if (!Pactl(command, &output)) return -1;
  try {
    return std::stoi(output);
  } catch (const std::exception&) {
    error_ = "load-module " + name + " printed no index: " + output;
    return -1;
  }
}

bool PulseServer::UnloadModule(int index) { return Pactl({"unload-module", std::to_string(index)}); }

bool PulseServer::SetDefaultSink(const std::string& name) { return Pactl({"set-default-sink", name}); }

bool PulseServer::SetDefaultSource(const std::string& name) { return Pactl({"set-default-source", name}); }

int PulseServer::PlayTone(const std::string& sink, int hz) {
  return LoadModule("module-sine", "sink=" + sink + " " + ToneArgument(hz));
}

bool PulseServer::StartPlayback(const std::string& sink, const std::string& path,
                                const std::vector<std::string>& properties) {
  const std::string program = FindProgram("paplay");
  if (program.empty() || !running_) {
    error_ = "paplay cannot start (pulseaudio-utils installs it)";
    return false;
  }
  std::vector<std::string> command = {program, "--device=" + sink};
  for (const std::string& property : properties) command.push_back("--property=" + property);
  command.push_back(path);
  const pid_t pid = SpawnDaemon(command, BuildEnvironment({{"PULSE_SERVER", address_}}),
                                folder_ + "/paplay.log");
  if (pid < 0) {
    error_ = "paplay cannot start";
    return false;
  }
  players_.push_back(pid);
  return true;
}

bool PulseServer::PlayToneAs(const std::string& application, const std::string& sink, int hz, double seconds) {
  constexpr int kRate = 44100;
  std::vector<float> tone(static_cast<size_t>(seconds * kRate));
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * hz * static_cast<double>(i) / kRate));
  const std::string path = folder_ + "/tone-" + std::to_string(players_.size()) + ".wav";
  return WriteWav(path, tone, kRate) && StartPlayback(sink, path, {"application.name=" + application, "media.name=tone"});
}

bool PulseServer::WaitForPlaybacks(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::erase_if(players_, [](pid_t pid) { return HasExited(pid); });
    if (players_.empty()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kProbeIntervalMs);
  }
}

int PulseServer::RecordStreamsOf(const std::string& source) {
  // The first column of each short listing is an index; sources have their name second,
  // record streams the index of their source.
  const auto column = [](const std::string& line, int n) {
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i <= n && std::getline(fields, field, '\t'); ++i) {
    }
    return field;
  };
  std::string sources, outputs, line, index;
  if (!Pactl({"list", "short", "sources"}, &sources)) return -1;
  std::istringstream sourceLines(sources);
  while (std::getline(sourceLines, line))
    if (column(line, 1) == source) index = column(line, 0);
  if (index.empty()) return 0;
  if (!Pactl({"list", "short", "source-outputs"}, &outputs)) return -1;
  int count = 0;
  std::istringstream outputLines(outputs);
  while (std::getline(outputLines, line))
    if (column(line, 1) == index) ++count;
  return count;
}

bool PulseServer::WaitForRecordingOf(const std::string& source, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    if (RecordStreamsOf(source) > 0) return true;
    std::this_thread::sleep_for(kProbeIntervalMs);
  } while (std::chrono::steady_clock::now() < deadline);
  error_ = "nothing records " + source;
  return false;
}

bool PulseServer::UnloadMicrophone() {
  bool ok = true;
  for (int module : microphoneModules_) ok = UnloadModule(module) && ok;
  microphoneModules_.clear();
  return ok;
}

bool PulseServer::KeepLowLatency(const std::string& sink) {
  if (!readers_.Add(sink + ".monitor")) {
    error_ = "the low-latency reader of " + sink + " did not start";
    return false;
  }
  // The sink may still sleep through a long block rendered before the reader came; a suspend
  // and resume restarts its timing at the short latency.
  return Pactl({"suspend-sink", sink, "1"}) && Pactl({"suspend-sink", sink, "0"});
}

std::set<int> PulseServer::LoadedModules() {
  std::set<int> modules;
  std::string listing;
  if (!Pactl({"list", "short", "modules"}, &listing)) return modules;
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    try {
      modules.insert(std::stoi(line));
    } catch (const std::exception&) {
    }
  }
  return modules;
}

void PulseServer::Fail(const std::string& what) {
  error_ = what;
  if (!logPath_.empty()) error_ += "\n--- pulseaudio log ---\n" + ReadLog();
}

void PulseServer::Stop() {
  for (pid_t player : players_) StopChild(player, kStopGraceMs);
  players_.clear();
  readers_.Close();
  if (frozen_) Thaw();
  if (pid_ > 0) StopChild(pid_, kStopGraceMs);
  pid_ = -1;
  running_ = false;
  if (environmentSet_) {
    if (previousPulseServer_) {
      setenv(kPulseServerVariable, previousPulseServer_->c_str(), 1);
    } else {
      unsetenv(kPulseServerVariable);
    }
    environmentSet_ = false;
  }
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    folder_.clear();
  }
}

}  // namespace zav::test
