#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;

namespace zav::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kReapPollMs{10};

// argv/envp arrays for execve, built before fork so the child only makes async-signal-safe calls.
std::vector<char*> PointerArray(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (const std::string& text : strings) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

[[noreturn]] void ExecInChild(const std::vector<char*>& argv, const std::vector<char*>& envp, int outputFd) {
  const int nullFd = open("/dev/null", O_RDONLY);
  if (nullFd >= 0) dup2(nullFd, STDIN_FILENO);
  dup2(outputFd, STDOUT_FILENO);
  dup2(outputFd, STDERR_FILENO);
  execve(argv[0], argv.data(), envp.data());
  _exit(127);
}

}  // namespace

std::vector<std::string> BuildEnvironment(const EnvironmentChanges& changes) {
  std::vector<std::string> environment;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (changes.count(name) == 0) environment.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) environment.push_back(name + "=" + *value);
  }
  return environment;
}

std::string FindProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0 ? program : "";
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string folder = folders.substr(start, end - start);
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

CommandResult RunCommand(const std::vector<std::string>& argv, const EnvironmentChanges& changes,
                         std::chrono::milliseconds timeout) {
  CommandResult result;
  if (argv.empty()) return result;
  std::vector<std::string> resolved = argv;
  resolved[0] = FindProgram(argv[0]);
  if (resolved[0].empty()) {
    result.output = argv[0] + ": not found";
    return result;
  }
  const std::vector<std::string> environment = BuildEnvironment(changes);
  const std::vector<char*> argvPointers = PointerArray(resolved);
  const std::vector<char*> envPointers = PointerArray(environment);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) ExecInChild(argvPointers, envPointers, fds[1]);
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return result;
  }

  const auto deadline = Clock::now() + timeout;
  bool timedOut = false;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd readable{fds[0], POLLIN, 0};
    const int ready = poll(&readable, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    const ssize_t count = read(fds[0], buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    result.output.append(buffer, static_cast<std::size_t>(count));
  }
  close(fds[0]);

  if (timedOut) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return result;
  }
  // The output is closed; the command ends right after. Still bounded by the same deadline.
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      return result;
    }
    std::this_thread::sleep_for(kReapPollMs);
  }
  result.finished = true;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

pid_t SpawnDaemon(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                  const std::string& logPath) {
  if (argv.empty()) return -1;
  const std::vector<char*> argvPointers = PointerArray(argv);
  const std::vector<char*> envPointers = PointerArray(environment);
  const int logFd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (logFd < 0) return -1;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // A test that crashes must not leave a daemon behind (it would never exit on its own).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    ExecInChild(argvPointers, envPointers, logFd);
  }
  close(logFd);
  return pid;
}

bool HasExited(pid_t pid) {
  int status = 0;
  const pid_t reaped = waitpid(pid, &status, WNOHANG);
  return reaped == pid || (reaped < 0 && errno == ECHILD);
}

void StopChild(pid_t pid, std::chrono::milliseconds gracePeriod) {
  if (pid <= 0 || HasExited(pid)) return;
  kill(pid, SIGTERM);
  const auto deadline = Clock::now() + gracePeriod;
  while (Clock::now() < deadline) {
    if (HasExited(pid)) return;
    std::this_thread::sleep_for(kReapPollMs);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

bool WaitUntilReady(pid_t& pid, const std::function<bool()>& ready, std::chrono::milliseconds timeout,
                    std::chrono::milliseconds pollInterval) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (ready()) return true;
    if (HasExited(pid)) {
      pid = -1;
      return false;
    }
    std::this_thread::sleep_for(pollInterval);
  }
  return false;
}

void StopDaemonAndRemoveFolder(pid_t pid, const std::string& folder) {
  if (pid > 0) StopChild(pid, std::chrono::seconds(5));
  if (!folder.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
}

}  // namespace zav::test
