// The real program, started twice: the second start hands over to the first and ends with 0;
// logging goes to the Log folder of the user's tree; a termination signal ends it with 0.
// The X11 case runs on a private Xvfb display and checks the window stacking itself.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "InstanceLock.h"
#include "LogCleanup.h"
#include "UiTestSupport.h"

namespace zav {
namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kSecondStartTimeoutMs = 5000;

class ProgramHome {
 public:
  ProgramHome() {
    QDir(dir_.path()).mkpath(QStringLiteral("home"));
    QDir(dir_.path()).mkpath(QStringLiteral("config/ZavAudioRecorder/Log"));
  }
  QString ConfigHome() const { return dir_.filePath(QStringLiteral("config")); }
  QString LogFolder() const { return dir_.filePath(QStringLiteral("config/ZavAudioRecorder/Log")); }
  QString LockPath() const { return dir_.filePath(QStringLiteral("config/ZavAudioRecorder/instance.lock")); }

  QProcessEnvironment Environment(const QString& platform, const QString& display = {}) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir_.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), ConfigHome());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
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

std::unique_ptr<QProcess> Start(const ProgramHome& home, const QString& platform, const QString& display = {}) {
  auto process = std::make_unique<QProcess>();
  process->setProcessEnvironment(home.Environment(platform, display));
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  process->start(QStringLiteral(ZAV_PROGRAM_PATH), {});
  return process;
}

bool WaitForLog(const ProgramHome& home, const QString& line, int timeoutMs = kStartTimeoutMs) {
  return test::WaitUntil([&] { return home.LogText().contains(line); }, timeoutMs);
}

void StopProgram(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();  // SIGTERM: the program closes its window and ends normally
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished(5000);
  }
}

TEST(StartupProcessTest, SecondStartHandsOverAndEndsWithZero) {
  ProgramHome home;
  QFile::copy(QStringLiteral(ZAV_SKIN_SOURCE_DIR "/res.xml"), home.LogFolder() + "/log.20240101-101010.1234");
  QDir(home.LogFolder()).mkdir(QStringLiteral("log.20240101-folder"));

  auto first = Start(home, QStringLiteral("offscreen"));
  ASSERT_TRUE(first->waitForStarted());
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("main window shown"))) << home.LogText().toStdString();

  // Today's log file, named log.<date>-<time>.<pid>; the old one is gone, the folder stays.
  const QRegularExpression name(QStringLiteral("^log\\.%1-\\d{6}\\.%2$")
                                    .arg(QString::fromStdString(TodayDateStamp()))
                                    .arg(first->processId()));
  const QStringList files = home.LogFileNames();
  ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
  EXPECT_TRUE(name.match(files[0]).hasMatch()) << files[0].toStdString();
  EXPECT_TRUE(QDir(home.LogFolder()).exists(QStringLiteral("log.20240101-folder")));

  QProcess second;
  second.setProcessEnvironment(home.Environment(QStringLiteral("offscreen")));
  QElapsedTimer clock;
  clock.start();
  second.start(QStringLiteral(ZAV_PROGRAM_PATH), {});
  ASSERT_TRUE(second.waitForFinished(kSecondStartTimeoutMs));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  RecordProperty("second_start_ms", static_cast<int>(clock.elapsed()));
  EXPECT_TRUE(WaitForLog(home, QStringLiteral("another start asked for the window"), 5000));
  EXPECT_EQ(home.LogFileNames().size(), 1);  // the second start logged nothing of its own

  StopProgram(*first);
  EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first->exitCode(), 0);
  EXPECT_TRUE(home.LogText().contains(QStringLiteral("exit 0")));
}

TEST(StartupProcessTest, HeldLockWithNobodyAnsweringEndsWithZero) {
  ProgramHome home;
  InstanceLock held(home.LockPath().toStdString());
  ASSERT_EQ(held.TryAcquire(), InstanceLock::Result::kAcquired);

  QProcess second;
  second.setProcessEnvironment(home.Environment(QStringLiteral("offscreen")));
  second.start(QStringLiteral(ZAV_PROGRAM_PATH), {});
  ASSERT_TRUE(second.waitForFinished(kSecondStartTimeoutMs));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(home.LogFileNames().isEmpty());
}

// A private X server for the test, on a display number it picks itself.
class XvfbServer {
 public:
  bool Start() {
    process_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                                            QStringLiteral("tcp")});
    if (!process_.waitForStarted(5000)) return false;
    QByteArray out;
    while (!out.contains('\n')) {
      if (!process_.waitForReadyRead(10000)) return false;
      out += process_.readAllStandardOutput();
    }
    display_ = QStringLiteral(":") + QString::fromLatin1(out.trimmed());
    return true;
  }
  ~XvfbServer() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill();
    process_.waitForFinished(2000);
  }
  const QString& Display() const { return display_; }

 private:
  QProcess process_;
  QString display_;
};

QString RunTool(const QString& display, const QString& program, const QStringList& args) {
  QProcess tool;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display);
  tool.setProcessEnvironment(env);
  tool.start(program, args);
  tool.waitForFinished(5000);
  return QString::fromUtf8(tool.readAllStandardOutput());
}

// Names of the root window's mapped children, top-most first (as xwininfo lists them).
QStringList StackingTopFirst(const QString& display) {
  QStringList names;
  static const QRegularExpression line(QStringLiteral("^\\s+0x[0-9a-f]+ \"(.*)\":"));
  for (const QString& text : RunTool(display, QStringLiteral("xwininfo"), {"-root", "-children"}).split('\n')) {
    const auto match = line.match(text);
    if (match.hasMatch()) names << match.captured(1);
  }
  return names;
}

TEST(StartupProcessTest, OnX11TheSecondStartRaisesTheRunningWindow) {
  for (const char* tool : {"Xvfb", "xwininfo", "xdotool", "xmessage"}) {
    if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) GTEST_SKIP() << tool << " is not installed";
  }
  XvfbServer x;
  ASSERT_TRUE(x.Start());
  ProgramHome home;
  auto first = Start(home, QStringLiteral("xcb"), x.Display());
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("main window shown")));
  const QString caption = QStringLiteral("ZAV电脑录音软件");
  ASSERT_TRUE(test::WaitUntil([&] {
    return !RunTool(x.Display(), QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", caption}).isEmpty();
  }));

  // Another program's window covers it.
  QProcess cover;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), x.Display());
  cover.setProcessEnvironment(env);
  cover.start(QStringLiteral("xmessage"), {"-geometry", "1200x760+0+0", "-name", "zav-cover", "cover"});
  ASSERT_TRUE(test::WaitUntil([&] {
    const QStringList stack = StackingTopFirst(x.Display());
    return stack.indexOf(QStringLiteral("zav-cover")) >= 0 &&
           stack.indexOf(QStringLiteral("zav-cover")) < stack.indexOf(caption);
  })) << StackingTopFirst(x.Display()).join(" | ").toStdString();

  QProcess second;
  second.setProcessEnvironment(home.Environment(QStringLiteral("xcb"), x.Display()));
  second.start(QStringLiteral(ZAV_PROGRAM_PATH), {});
  ASSERT_TRUE(second.waitForFinished(kSecondStartTimeoutMs));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(test::WaitUntil([&] {
    const QStringList stack = StackingTopFirst(x.Display());
    return stack.indexOf(caption) >= 0 && stack.indexOf(caption) < stack.indexOf(QStringLiteral("zav-cover"));
  })) << StackingTopFirst(x.Display()).join(" | ").toStdString();

  cover.kill();
  cover.waitForFinished(2000);
  StopProgram(*first);
  EXPECT_EQ(first->exitCode(), 0);
}

}  // namespace
}  // namespace zav
