// zav-vendor-service: the stand-in vendor service on 127.0.0.1, for trying the program's
// upgrade check, feedback and installer download by hand:
//   zav-vendor-service --port 8080 --app-version 1.7.0 --force 1
//   ZAV_SERVICE_URL=http://127.0.0.1:8080 zav-audio-recorder
// Runs until Ctrl+C or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "VendorService.h"

namespace {

constexpr char kUsage[] =
    "usage: zav-vendor-service [--port N] [--app-version X.Y.Z] [--force N] [--force-text]\n"
    "                          [--download-url URL] [--installer-size BYTES] [--ret N]\n";

}  // namespace

int main(int argc, char** argv) {
  zav::tools::VendorAnswers answers;
  answers.appVersion = "1.7.0";
  int port = 8080;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    try {
      if (option == "--port" && hasValue) {
        port = std::stoi(argv[++i]);
      } else if (option == "--app-version" && hasValue) {
        answers.appVersion = argv[++i];
      } else if (option == "--force" && hasValue) {
        answers.forceUpgrade = std::to_string(std::stoi(argv[++i]));
      } else if (option == "--force-text") {
        answers.forceAsText = true;
      } else if (option == "--download-url" && hasValue) {
        answers.downloadUrl = argv[++i];
      } else if (option == "--installer-size" && hasValue) {
        answers.installerBytes.assign(std::stoul(argv[++i]), 'Z');
      } else if (option == "--ret" && hasValue) {
        answers.ret = std::stoi(argv[++i]);
      } else {
        std::cerr << kUsage;
        return 2;
      }
    } catch (const std::exception&) {
      std::cerr << "bad value for " << option << '\n' << kUsage;
      return 2;
    }
  }

  // The signals are taken by sigwait below, in this thread only.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  zav::tools::VendorService service;
  service.SetAnswers(answers);
  if (!service.Start(port)) {
    std::cerr << "cannot listen on 127.0.0.1:" << port << '\n';
    return 1;
  }
  std::cout << "listening on " << service.BaseUrl() << std::endl;
  int received = 0;
  sigwait(&signals, &received);
  service.Stop();
  return 0;
}
