// The real program, started twice: the second start hands over to the first and ends with 0
// (with a copy that does not answer, it says why and ends with 1); logging goes to the Log
// folder of the user's tree; a termination signal ends it with 0.
// The X11 case runs on a private Xvfb display and checks the window stacking itself.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "InstanceChannel.h"
#include "InstanceLock.h"
#include "LogCleanup.h"
#include "ProgramUnderTest.h"
#include "XvfbServer.h"
#include "UiTestSupport.h"

namespace zav {
namespace {

using test::ProgramHome;
using test::RunTool;
using test::StartProgram;
using test::StopProgram;
using test::WaitForLog;
using test::XvfbServer;

constexpr int kSecondStartTimeoutMs = 5000;

TEST(StartupProcessTest, SecondStartHandsOverAndEndsWithZero) {
  ProgramHome home;
  QFile::copy(QStringLiteral(ZAV_SKIN_SOURCE_DIR "/res.xml"), home.LogFolder() + "/log.20240101-101010.1234");
  QDir(home.LogFolder()).mkdir(QStringLiteral("log.20240101-folder"));

  auto first = StartProgram(home, QStringLiteral("offscreen"));
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

// A copy that holds the lock but does not answer (stopped with SIGSTOP, frozen): the second
// start shows no window either, so it must say why and not end as a success.
TEST(StartupProcessTest, HeldLockWithNobodyAnsweringSaysWhyAndFails) {
  ProgramHome home;
  InstanceLock held(home.LockPath().toStdString());
  ASSERT_EQ(held.TryAcquire(), InstanceLock::Result::kAcquired);
  // Its socket accepts (the kernel does that for a frozen process) but nothing answers.
  QLocalServer frozen;
  ASSERT_TRUE(frozen.listen(InstanceSocketPath(home.LockPath())));

  QProcess second;
  second.setProcessEnvironment(home.Environment(QStringLiteral("offscreen")));
  second.start(QStringLiteral(ZAV_PROGRAM_PATH), {});
  ASSERT_TRUE(second.waitForFinished(kSecondStartTimeoutMs));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 1);
  const QString error = QString::fromUtf8(second.readAllStandardError());
  const QString holder = QStringLiteral("process %1").arg(QCoreApplication::applicationPid());
  EXPECT_TRUE(error.contains(QStringLiteral("did not answer")) && error.contains(holder)) << error.toStdString();
  EXPECT_TRUE(home.LogText().contains(QStringLiteral("did not answer"))) << home.LogText().toStdString();
}

TEST(StartupProcessTest, WithoutADisplayItSaysSoAndEndsWithOne) {
  ProgramHome home;
  QProcess program;
  QProcessEnvironment env = home.Environment(QString());
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  program.setProcessEnvironment(env);
  program.start(QStringLiteral(ZAV_PROGRAM_PATH), {});
  ASSERT_TRUE(program.waitForFinished(kSecondStartTimeoutMs));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 1);
  EXPECT_TRUE(QString::fromUtf8(program.readAllStandardError()).contains(QStringLiteral("graphical session")));
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
  XvfbServer xvfb;
  ASSERT_TRUE(xvfb.running()) << xvfb.error();
  const QString display = QString::fromStdString(xvfb.display());
  ProgramHome home;
  auto first = StartProgram(home, QStringLiteral("xcb"), display);
  ASSERT_TRUE(WaitForLog(home, QStringLiteral("main window shown")));
  const QString caption = QStringLiteral("ZAV电脑录音软件");
  ASSERT_TRUE(test::WaitUntil([&] {
    return !RunTool(display, QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", caption}).isEmpty();
  }));

  // Another program's window covers it.
  QProcess cover;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display);
  cover.setProcessEnvironment(env);
  cover.start(QStringLiteral("xmessage"), {"-geometry", "1200x760+0+0", "-name", "zav-cover", "cover"});
  ASSERT_TRUE(test::WaitUntil([&] {
    const QStringList stack = StackingTopFirst(display);
    return stack.indexOf(QStringLiteral("zav-cover")) >= 0 &&
           stack.indexOf(QStringLiteral("zav-cover")) < stack.indexOf(caption);
  })) << StackingTopFirst(display).join(" | ").toStdString();

  QProcess second;
  second.setProcessEnvironment(home.Environment(QStringLiteral("xcb"), display));
  second.start(QStringLiteral(ZAV_PROGRAM_PATH), {});
  ASSERT_TRUE(second.waitForFinished(kSecondStartTimeoutMs));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(test::WaitUntil([&] {
    const QStringList stack = StackingTopFirst(display);
    return stack.indexOf(caption) >= 0 && stack.indexOf(caption) < stack.indexOf(QStringLiteral("zav-cover"));
  })) << StackingTopFirst(display).join(" | ").toStdString();

  cover.kill();
  cover.waitForFinished(2000);
  StopProgram(*first);
  EXPECT_EQ(first->exitCode(), 0);
}

}  // namespace
}  // namespace zav
