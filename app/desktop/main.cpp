// The desktop program: one copy per user, logging, skin, media framework, main window, event
// loop until the main window is destroyed, then shutdown in reverse order.
extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

#include <glog/logging.h>

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QMessageBox>
#include <QStyleFactory>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "Autostart.h"
#include "DisplayCheck.h"
#include "InstanceChannel.h"
#include "InstanceLock.h"
#include "LogCleanup.h"
#include "LogSetup.h"
#include "PlatformChoice.h"
#include "SkinLocator.h"
#include "Translation.h"
#include "TerminationSignals.h"
#include "UserFolders.h"
#include "dui/Skin.h"
#include "dui/WndShadow.h"
#include "mainwindow/MainWnd.h"
#include "dui/Texts.h"

namespace {

// A second start must be done quickly; the running copy answers within milliseconds.
constexpr int kHandOverTimeoutMs = 700;
// Exit status of a start that cannot show a window: no display, no skin, or a running copy
// that does not answer.
constexpr int kExitCannotStart = 1;
const QString kMessageCaption = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "信息提示"));

zav::WindowImplBase* FindMainWindow() {
  return zav::WindowImplBase::FindWindowWithProp(zav::CMainWnd::kWindowProp);
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<std::filesystem::path> InstalledSkinFolders(const std::filesystem::path& exeDir) {
  return {exeDir / ZAV_RELATIVE_SKIN_DIR, std::filesystem::path(ZAV_INSTALLED_SKIN_DIR)};
}

}  // namespace

int main(int argc, char** argv) {
  const bool startHidden = std::any_of(argv + 1, argv + argc, [](const char* arg) {
    return std::strcmp(arg, zav::kStartHiddenOption) == 0;
  });
  // Wayland's own platform in a Wayland session, X11 otherwise; only this process is told, the
  // programs it opens choose for themselves.
  const std::string chosenPlatform = zav::ChooseQtPlatform(&EnvironmentValue);
  if (!chosenPlatform.empty()) setenv("QT_QPA_PLATFORM", chosenPlatform.c_str(), 1);

  // Without a display Qt would abort; say what is missing and end like any failed start.
  zav::DisplayHold displayHold;
  if (const std::string reason = zav::CheckDisplay(&displayHold); !reason.empty()) {
    std::fprintf(stderr, "zav-audio-recorder: cannot show a window: %s. Start it from a graphical session.\n",
                 reason.c_str());
    return kExitCannotStart;
  }

  // 1. One copy per user: a second start hands over to the running copy and ends.
  const std::string appFolder = zav::GetUserFolder(zav::kAppFolder);
  const QString lockPath = QString::fromStdString(appFolder + "/instance.lock");
  zav::InstanceLock lock(lockPath.toStdString());
  const auto lockResult = lock.TryAcquire();
  const QString socketPath = zav::InstanceSocketPath(lockPath);
  if (lockResult == zav::InstanceLock::Result::kHeldByOther) {
    {
      QCoreApplication handOver(argc, argv);
      if (zav::AskRunningInstanceToActivate(socketPath, kHandOverTimeoutMs)) return 0;
    }
    // The copy that holds the lock is stopped (SIGSTOP), frozen or still starting: it shows no
    // window, and neither may this one. Said where a user or a script looks.
    const long holder = zav::InstanceLock::HolderPid(lock.path());
    const std::string why = "another copy of the program" +
                            (holder > 0 ? " (process " + std::to_string(holder) + ")" : std::string()) +
                            " holds " + lock.path() + " but did not answer within " +
                            std::to_string(kHandOverTimeoutMs) + " ms; it may be stopped or frozen. Not starting.";
    std::fprintf(stderr, "zav-audio-recorder: %s\n", why.c_str());
    zav::SetUpLogging(zav::GetUserFolder(zav::kLogSubFolder));
    LOG(ERROR) << "second start, pid " << ::getpid() << ": " << why;
    zav::ShutDownLogging();
    return kExitCannotStart;
  }

  // 2-4. Log folder, clean-up of other days' logs, logging.
  const std::string logFolder = zav::GetUserFolder(zav::kLogSubFolder);
  zav::RemoveOldLogFiles(logFolder, zav::TodayDateStamp());
  zav::SetUpLogging(logFolder);
  LOG(INFO) << "start, pid " << ::getpid();
  if (lockResult == zav::InstanceLock::Result::kUnavailable) {
    LOG(WARNING) << "cannot lock " << lockPath.toStdString() << ", running without the one-copy guard";
  }

  int exitCode = 0;
  {
    QApplication app(argc, argv);
    displayHold.reset();  // Qt has its own connection now
    if (!chosenPlatform.empty()) unsetenv("QT_QPA_PLATFORM");
    LOG(INFO) << "platform " << QGuiApplication::platformName().toStdString();
    if (chosenPlatform.rfind("wayland", 0) == 0 && !QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
      LOG(WARNING) << "a Wayland session, but Qt's Wayland platform did not load (package qt6-wayland): running on X11";
    }
    QApplication::setApplicationName(QStringLiteral("zav-audio-recorder"));
    QApplication::setDesktopFileName(QStringLiteral("zav-audio-recorder"));
    QApplication::setQuitOnLastWindowClosed(false);  // only the main window's end quits
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    zav::InstanceServer server(socketPath, [] {
      LOG(INFO) << "another start asked for the window";
      if (auto* window = FindMainWindow()) window->BringToFront();
    });
    if (lockResult == zav::InstanceLock::Result::kAcquired && !server.Listen()) {
      LOG(ERROR) << "instance socket " << socketPath.toStdString() << ": " << server.ErrorString().toStdString();
    }

    // 6. Shadows of the frameless boxes, where windows can be seen through.
    if (!zav::CWndShadow::InitShadowSupport()) {
      LOG(INFO) << "boxes have no shadow here (no compositing manager on X11, or Wayland, where the compositor places windows)";
    }

    // 10. Skin, and the texts' language (the translation travels with the skin).
    const std::filesystem::path exeDir = QCoreApplication::applicationDirPath().toStdString();
    const std::filesystem::path skinFolder = zav::FindSkinFolder(exeDir, InstalledSkinFolders(exeDir));
    LOG(INFO) << "texts: "
              << zav::InstallTranslation(&app, QString::fromStdString(skinFolder.string()), QLocale::system().uiLanguages())
                     .toStdString();
    QString skinError = QStringLiteral("no skin folder beside the program or in the installed data");
    if (skinFolder.empty() || !zav::LoadSkinResources(QString::fromStdString(skinFolder.string()), &skinError)) {
      LOG(ERROR) << "skin: " << skinError.toStdString();
      QMessageBox::critical(nullptr, zav::Tr(kMessageCaption),
                            zav::Tr(QStringLiteral(QT_TRANSLATE_NOOP("Zav", "找不到界面皮肤文件，请重新安装程序。"))));
      zav::ShutDownLogging();
      return kExitCannotStart;
    }

    // 12. Media framework.
    avdevice_register_all();
    avformat_network_init();

    // 13. Main window; it ends the loop when it is destroyed.
    auto* mainWnd = new zav::CMainWnd();
    if (!mainWnd->Create(nullptr, zav::CMainWnd::kCaption, zav::WindowStyle::kMainFrame)) {
      mainWnd->DestroyWindow();
      QMessageBox::critical(nullptr, zav::Tr(kMessageCaption),
                            zav::Tr(QStringLiteral(QT_TRANSLATE_NOOP("Zav", "界面皮肤文件已损坏，请重新安装程序。"))));
      exitCode = kExitCannotStart;
    } else {
      // Taken before the window is shown or said to be: a signal sent as soon as it is (a
      // session ending, a script) must end the program through its orderly quit, not kill it.
      zav::TerminationSignals terminationSignals([] {
        LOG(INFO) << "termination signal";
        if (auto* window = FindMainWindow()) {
          window->Close(static_cast<int>(zav::kCloseForQuit));
        } else {
          QCoreApplication::quit();
        }
      });
      mainWnd->CenterWindow();
      // Started with the desktop: the window stays in the tray, where its icon brings it back.
      if (startHidden && mainWnd->HasTrayIcon()) {
        LOG(INFO) << "main window hidden in the tray";
      } else {
        mainWnd->ShowWindow(true, true);
        LOG(INFO) << "main window shown";
      }

      // 14. Event loop.
      app.exec();
    }
    avformat_network_deinit();
  }
  LOG(INFO) << "exit " << exitCode;
  zav::ShutDownLogging();
  return exitCode;
}
