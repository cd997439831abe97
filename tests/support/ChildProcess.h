#pragma once
// Starting helper programs from tests: a one-shot command with its output captured, or a
// long-running child that is stopped on request. Every wait has a deadline.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zav::test {

// Changes to the environment of a child: a value sets the variable, nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// The current environment with the changes applied, as "NAME=value" strings.
std::vector<std::string> BuildEnvironment(const EnvironmentChanges& changes);

// The full path of program, searched in PATH like a shell does; empty when not found.
std::string FindProgram(const std::string& program);

struct CommandResult {
  bool finished = false;  // exited on its own before the timeout
  int exitCode = -1;      // valid when finished
  std::string output;     // standard output and standard error together
};

// Runs argv (argv[0] is searched in PATH) with standard input closed, and waits for it at most
// timeout; a command still running then is killed.
CommandResult RunCommand(const std::vector<std::string>& argv, const EnvironmentChanges& changes,
                         std::chrono::milliseconds timeout);

// Starts argv[0] (a full path) with the environment, standard input from /dev/null and both
// output streams appended to logPath. The child is killed if this process dies first.
// The daemon is tied to the calling thread: it is killed when that thread ends. Returns the
// child's id, or -1.
pid_t SpawnDaemon(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                  const std::string& logPath);

// True when the child has ended (it is then reaped).
bool HasExited(pid_t pid);

// SIGTERM, up to gracePeriod for it to end, then SIGKILL; always reaps the child.
void StopChild(pid_t pid, std::chrono::milliseconds gracePeriod);

// Waits until a daemon just started says it is ready (ready() turns true, checked every
// pollInterval), at most timeout. False when it did not in time or ended first (pid is then
// set to -1, as the child is reaped).
bool WaitUntilReady(pid_t& pid, const std::function<bool()>& ready, std::chrono::milliseconds timeout,
                    std::chrono::milliseconds pollInterval);

// Stops a daemon of a test (when pid > 0) and removes its folder (when not empty).
void StopDaemonAndRemoveFolder(pid_t pid, const std::string& folder);

}  // namespace zav::test
