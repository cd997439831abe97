#pragma once
// OnlineServices: what the main window offers of the vendor service. The main window owns
// one and calls it:
//   - CheckForUpgrade(kQuiet) once at start-up; CheckForUpgrade(kInteractive) for menu 1239;
//   - ShowFeedback() for the "feedback" button and menu 1238;
//   - OpenHelpPage() for the "help" button and menu 1236.
// Requests run on worker threads; their answers come back to the UI thread as posted
// events, where offers and prompts are shown modally over the main window. Destroying the
// object aborts every request under way at once and joins its workers.
//
// UI thread only.

#include <QObject>

#include <functional>
#include <memory>
#include <string>

#include "DesktopOpener.h"
#include "NetWorker.h"

namespace zav {

class WindowImplBase;
struct UpgradeAnswer;

enum class UpgradeCheckMode {
  kQuiet,        // at start-up: only a newer version is shown
  kInteractive,  // asked for: "没有发现新版本!" when there is none
};

class OnlineServices {
 public:
  struct Hooks {
    DesktopOpener openUrl = DefaultDesktopOpener();
    // Shows a downloaded installer that could not be verified, for the user to check.
    FileShower showFile = DefaultFileShower();
    // Called on the UI thread, after every box and dialog of the offer has closed, when the
    // installer has been started or a mandatory upgrade was cancelled: end the program
    // through its normal quit path.
    std::function<void()> endProgram;
  };

  // baseUrl: the vendor service (VendorServiceBaseUrl()).
  OnlineServices(WindowImplBase* mainWindow, std::string baseUrl, Hooks hooks);
  ~OnlineServices();
  OnlineServices(const OnlineServices&) = delete;
  OnlineServices& operator=(const OnlineServices&) = delete;

  // Starts a check on a worker and returns at once. A check of the same mode that is still
  // waiting for its answer makes this do nothing.
  void CheckForUpgrade(UpgradeCheckMode mode);

  // The feedback dialog, modal over the main window; returns when it has closed.
  void ShowFeedback();

  void OpenHelpPage();

 private:
  struct Check {
    NetWorker worker;
    bool waiting = false;  // started, answer not yet handled
  };

  Check& CheckFor(UpgradeCheckMode mode) { return mode == UpgradeCheckMode::kQuiet ? quiet_ : interactive_; }
  void OnUpgradeAnswer(UpgradeCheckMode mode, const UpgradeAnswer& answer);

  WindowImplBase* const mainWindow_;
  const std::string baseUrl_;
  const Hooks hooks_;
  // Receives the workers' answers on the UI thread; outlives the workers.
  const std::unique_ptr<QObject> receiver_;
  Check quiet_;
  Check interactive_;
};

}  // namespace zav
