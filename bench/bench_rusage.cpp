// bench_rusage: runs a command and reports what it cost, with microsecond resolution:
//   cpu_user_s=.. cpu_sys_s=.. max_rss_kb=.. run_rss_kb=.. wall_s=.. status=..
// max_rss_kb is the kernel's peak (as GNU time reports it); it includes the last moments of
// process exit, when the libraries' clean-up code is paged in. run_rss_kb is the highest
// resident size seen while sampling the running process every 200 ms.
// With --threads it also adds one line per thread with the CPU time it had used when last
// seen (threads that end before the process lose at most the last 200 ms):
//   thread tid=.. name=.. cpu_s=..
//
// Usage: bench_rusage [--threads] [--out FILE] -- command [arguments...]
// The report goes to FILE (default standard error); the command's own output is untouched.
// Exit status: the command's.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

constexpr auto kSampleEvery = std::chrono::milliseconds(200);

struct ThreadSample {
  std::string name;
  long long cpuNs = 0;
};

// Reads the CPU time of every thread of pid from /proc (schedstat: nanoseconds on the CPU).
void SampleThreads(pid_t pid, std::map<long, ThreadSample>* threads) {
  std::error_code ec;
  const std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& entry : std::filesystem::directory_iterator(taskDir, ec)) {
    const std::string dir = entry.path().string();
    std::ifstream sched(dir + "/schedstat");
    long long ns = 0;
    if (!(sched >> ns)) continue;
    std::ifstream comm(dir + "/comm");
    std::string name;
    std::getline(comm, name);
    for (char& c : name)
      if (c == ' ' || c == '=') c = '_';
    ThreadSample& s = (*threads)[std::stol(entry.path().filename().string())];
    if (!name.empty()) s.name = name;
    if (ns > s.cpuNs) s.cpuNs = ns;
  }
}

// Resident size of pid in KB, 0 when it cannot be read.
long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

int Usage() {
  std::fputs("usage: bench_rusage [--threads] [--out FILE] -- command [arguments...]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool threads = false;
  std::string out;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--threads") {
      threads = true;
    } else if (arg == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (arg == "--") {
      ++i;
      break;
    } else {
      return Usage();
    }
  }
  if (i >= argc) return Usage();

  // SIGCHLD is taken with sigtimedwait, so that the wait between samples ends at the exit.
  sigset_t childSignal;
  sigemptyset(&childSignal);
  sigaddset(&childSignal, SIGCHLD);
  sigprocmask(SIG_BLOCK, &childSignal, nullptr);

  const auto started = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("bench_rusage: fork");
    return 1;
  }
  if (child == 0) {
    sigprocmask(SIG_UNBLOCK, &childSignal, nullptr);
    execvp(argv[i], argv + i);
    std::fprintf(stderr, "bench_rusage: cannot run %s: %s\n", argv[i], std::strerror(errno));
    _exit(127);
  }
  // Ctrl+C reaches the command through the terminal; we wait for it to finish.
  signal(SIGINT, SIG_IGN);

  std::map<long, ThreadSample> samples;
  long runRssKb = 0;
  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = wait4(child, &status, WNOHANG, &usage);
    if (done == child) break;
    if (done < 0 && errno != EINTR) {
      std::perror("bench_rusage: wait4");
      return 1;
    }
    // Sampled after the wait: right after fork the child is still a copy of this program.
    const timespec timeout{0, std::chrono::duration_cast<std::chrono::nanoseconds>(kSampleEvery).count()};
    if (sigtimedwait(&childSignal, nullptr, &timeout) == SIGCHLD) continue;
    runRssKb = std::max(runRssKb, ResidentKb(child));
    if (threads) SampleThreads(child, &samples);
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  FILE* report = out.empty() ? stderr : std::fopen(out.c_str(), "w");
  if (!report) {
    std::perror("bench_rusage: report file");
    return 1;
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::fprintf(report, "cpu_user_s=%.6f cpu_sys_s=%.6f max_rss_kb=%ld run_rss_kb=%ld wall_s=%.3f status=%d\n",
               Seconds(usage.ru_utime), Seconds(usage.ru_stime), usage.ru_maxrss, runRssKb, wall, code);
  for (const auto& [tid, s] : samples)
    std::fprintf(report, "thread tid=%ld name=%s cpu_s=%.6f\n", tid, s.name.c_str(), s.cpuNs / 1e9);
  if (report != stderr) std::fclose(report);
  return code;
}
