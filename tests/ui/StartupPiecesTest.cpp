// Start-up pieces in-process: the log clean-up, the skin lookup, the instance lock and the
// hand-over channel.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "DisplayCheck.h"
#include "InstanceChannel.h"
#include "InstanceLock.h"
#include "LogCleanup.h"
#include "SkinLocator.h"
#include "UiTestSupport.h"

namespace zav {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& path) { std::ofstream(path) << "x"; }

fs::path TempPath(const QTemporaryDir& dir) { return fs::path(dir.path().toStdString()); }

EnvironmentReader Environment(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const char* name) {
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  };
}

TEST(DisplayCheckTest, AWindowNeedsADisplayTheChosenPlatformCanUse) {
  EXPECT_NE(MissingDisplayReason(Environment({})), "");
  EXPECT_EQ(MissingDisplayReason(Environment({{"DISPLAY", ":0"}})), "");
  EXPECT_EQ(MissingDisplayReason(Environment({{"WAYLAND_DISPLAY", "wayland-0"}})), "");
  EXPECT_EQ(MissingDisplayReason(Environment({{"QT_QPA_PLATFORM", "offscreen"}})), "");
  EXPECT_NE(MissingDisplayReason(Environment({{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}})), "");
  EXPECT_NE(MissingDisplayReason(Environment({{"QT_QPA_PLATFORM", "wayland-egl"}, {"DISPLAY", ":0"}})), "");
  EXPECT_EQ(MissingDisplayReason(Environment({{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":0"}})), "");
  EXPECT_EQ(MissingDisplayReason(Environment({{"QT_QPA_PLATFORM", "xcb:nograb"}, {"DISPLAY", ":0"}})), "");
}

TEST(LogCleanupTest, OldFilesGoWhileTodaysFilesAndSubFoldersStay) {
  QTemporaryDir dir;
  const fs::path log = TempPath(dir);
  const std::string today = "20240315";
  Touch(log / "log.20240101-101010.1234");
  Touch(log / ("log." + today + "-000001.99"));
  Touch(log / ("log." + today + "-235959.100"));
  Touch(log / "x");
  fs::create_directory(log / "log.20240101-keep");
  fs::create_directory(log / "old");
  Touch(log / "old" / "log.20230101-000000.1");
  fs::create_symlink("log.20240101-101010.1234", log / "ZavAudioRecorder.INFO");

  EXPECT_EQ(RemoveOldLogFiles(log, today), 3);
  EXPECT_FALSE(fs::exists(log / "log.20240101-101010.1234"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(log / "ZavAudioRecorder.INFO")));
  EXPECT_FALSE(fs::exists(log / "x"));
  EXPECT_TRUE(fs::exists(log / ("log." + today + "-000001.99")));
  EXPECT_TRUE(fs::exists(log / ("log." + today + "-235959.100")));
  EXPECT_TRUE(fs::is_directory(log / "log.20240101-keep"));
  EXPECT_TRUE(fs::exists(log / "old" / "log.20230101-000000.1"));  // never descends
}

TEST(LogCleanupTest, MissingFolderIsNoError) {
  EXPECT_EQ(RemoveOldLogFiles("/nonexistent/zav/log", "20240101"), 0);
}

TEST(LogCleanupTest, TheDateIsCharactersFiveToTwelve) {
  EXPECT_FALSE(IsLogOfAnotherDay("log.20240315-101010.1", "20240315"));
  EXPECT_FALSE(IsLogOfAnotherDay("abc.20240315", "20240315"));  // only the position counts
  EXPECT_TRUE(IsLogOfAnotherDay("log.20240314-235959.1", "20240315"));
  EXPECT_TRUE(IsLogOfAnotherDay("log.2024", "20240315"));
  EXPECT_TRUE(IsLogOfAnotherDay("log", "20240315"));
  EXPECT_TRUE(IsLogOfAnotherDay("", "20240315"));
  const std::string today = TodayDateStamp();
  ASSERT_EQ(today.size(), 8u);
  EXPECT_TRUE(std::all_of(today.begin(), today.end(), [](char c) { return c >= '0' && c <= '9'; }));
}

TEST(SkinLocatorTest, PrefersTheSkinBesideTheProgramThenTheInstalledOne) {
  QTemporaryDir dir;
  const fs::path root = TempPath(dir);
  const fs::path exeDir = root / "bin";
  const fs::path installed = root / "share" / "zav-audio-recorder" / "skin";
  fs::create_directories(exeDir / "skin");
  fs::create_directories(installed);

  EXPECT_TRUE(FindSkinFolder(exeDir, {installed}).empty());  // no res.xml anywhere
  Touch(installed / "res.xml");
  EXPECT_EQ(FindSkinFolder(exeDir, {root / "missing", installed}), installed);
  Touch(exeDir / "skin" / "res.xml");
  EXPECT_EQ(FindSkinFolder(exeDir, {installed}), exeDir / "skin");
  EXPECT_EQ(FindSkinFolder(root / "elsewhere", {exeDir / ".." / "share" / "zav-audio-recorder" / "skin"}), installed);
}

TEST(InstanceLockTest, OnlyOneHolderAtATime) {
  QTemporaryDir dir;
  const std::string path = (TempPath(dir) / "instance.lock").string();
  {
    InstanceLock first(path);
    ASSERT_EQ(first.TryAcquire(), InstanceLock::Result::kAcquired);
    InstanceLock second(path);
    EXPECT_EQ(second.TryAcquire(), InstanceLock::Result::kHeldByOther);
  }
  InstanceLock third(path);
  EXPECT_EQ(third.TryAcquire(), InstanceLock::Result::kAcquired);  // released with its holder
  InstanceLock nowhere((TempPath(dir) / "no" / "such" / "folder" / "instance.lock").string());
  EXPECT_EQ(nowhere.TryAcquire(), InstanceLock::Result::kUnavailable);
}

// A second copy asking the server at socket is answered, and the server activates once.
void ExpectOneActivation(const QString& socket) {
  int activations = 0;
  InstanceServer server(socket, [&activations] { ++activations; });
  ASSERT_TRUE(server.Listen()) << server.ErrorString().toStdString();
  std::atomic<int> answered{-1};
  std::thread second([&] { answered = AskRunningInstanceToActivate(socket, 5000) ? 1 : 0; });
  EXPECT_TRUE(test::WaitUntil([&] { return answered != -1; }, 10000));
  second.join();
  EXPECT_EQ(answered, 1);
  EXPECT_EQ(activations, 1);
}

TEST(InstanceChannelTest, ASecondStartReachesTheRunningCopy) {
  QTemporaryDir dir;
  const QString socket = InstanceSocketPath(dir.filePath("instance.lock"));
  EXPECT_NE(socket, InstanceSocketPath(dir.filePath("other.lock")));
  ExpectOneActivation(socket);
}

TEST(InstanceChannelTest, NobodyListeningMeansNoAnswer) {
  QTemporaryDir dir;
  EXPECT_FALSE(AskRunningInstanceToActivate(InstanceSocketPath(dir.filePath("instance.lock")), 200));
}

TEST(InstanceChannelTest, AStaleSocketOfACrashedCopyIsReplaced) {
  QTemporaryDir dir;
  const QString socket = InstanceSocketPath(dir.filePath("instance.lock"));
  {
    InstanceServer crashed(socket, [] {});
    ASSERT_TRUE(crashed.Listen());
  }
  Touch(socket.toStdString());  // a leftover file where the socket was
  ExpectOneActivation(socket);
}

}  // namespace
}  // namespace zav
