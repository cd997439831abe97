#pragma once
// The desktop program as a process of its own for tests: a home with its own settings and
// log folders, start, wait for a log line, stop by SIGTERM; and X clients run on a display.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

#include "UiTestSupport.h"

namespace zav::test {

inline constexpr int kStartTimeoutMs = 20000;

class ProgramHome {
 public:
  ProgramHome() {
    QDir(dir_.path()).mkpath(QStringLiteral("home"));
    QDir(dir_.path()).mkpath(QStringLiteral("config/ZavAudioRecorder/Log"));
  }
  QString ConfigHome() const { return dir_.filePath(QStringLiteral("config")); }
  QString LogFolder() const { return dir_.filePath(QStringLiteral("config/ZavAudioRecorder/Log")); }
  QString SettingsPath() const { return dir_.filePath(QStringLiteral("config/ZavAudioRecorder/Config/configure.ini")); }
  QString LockPath() const { return dir_.filePath(QStringLiteral("config/ZavAudioRecorder/instance.lock")); }

  // platform: QT_QPA_PLATFORM, or empty for none; display: DISPLAY, or empty for none.
  QProcessEnvironment Environment(const QString& platform, const QString& display = {}) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir_.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), ConfigHome());
    // The texts the tests look for are the Chinese ones, whatever the machine's language.
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("zh_CN"));
    if (platform.isEmpty()) {
      env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    } else {
      env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    }
    if (display.isEmpty()) {
      env.remove(QStringLiteral("DISPLAY"));
    } else {
      env.insert(QStringLiteral("DISPLAY"), display);
    }
    return env;
  }

  // The text of this run's log files (not the link glog keeps beside them).
  QString LogText() const {
    QString text;
    const QDir log(LogFolder());
    for (const QFileInfo& info : log.entryInfoList(QDir::Files | QDir::NoSymLinks)) {
      QFile file(info.filePath());
      if (file.open(QIODevice::ReadOnly)) text += QString::fromUtf8(file.readAll());
    }
    return text;
  }

  QStringList LogFileNames() const {
    return QDir(LogFolder()).entryList(QDir::Files | QDir::NoSymLinks);
  }

 private:
  QTemporaryDir dir_;
};

// The desktop program, started with home's folders on platform (and display), with the
// variables of `more` set besides, and arguments.
inline std::unique_ptr<QProcess> StartProgram(const ProgramHome& home, const QString& platform, const QString& display = {},
                                              const QProcessEnvironment& more = {}, const QStringList& arguments = {}) {
  auto process = std::make_unique<QProcess>();
  QProcessEnvironment env = home.Environment(platform, display);
  env.insert(more);
  process->setProcessEnvironment(env);
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  process->start(QStringLiteral(ZAV_PROGRAM_PATH), arguments);
  return process;
}

inline bool WaitForLog(const ProgramHome& home, const QString& line, int timeoutMs = kStartTimeoutMs) {
  return WaitUntil([&] { return home.LogText().contains(line); }, timeoutMs);
}

inline void StopProgram(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();  // SIGTERM: the program closes its window and ends normally
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished(5000);
  }
}

// Runs an X client on display and returns what it printed.
inline QString RunTool(const QString& display, const QString& program, const QStringList& args) {
  QProcess tool;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display);
  tool.setProcessEnvironment(env);
  tool.start(program, args);
  tool.waitForFinished(5000);
  return QString::fromUtf8(tool.readAllStandardOutput());
}

}  // namespace zav::test
