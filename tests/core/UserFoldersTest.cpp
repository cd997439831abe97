#include <gtest/gtest.h>

#include <filesystem>

#include "ConfigStore.h"
#include "CoreTestSupport.h"
#include "TextUtil.h"
#include "UserFolders.h"

namespace zav {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;

TEST(XdgUserDirs, ParsesTheShellAssignments) {
  const std::string text =
      "# This file is written by xdg-user-dirs-update\n"
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_DOCUMENTS_DIR=\"/data/docs/\"\n"
      "XDG_MUSIC_DIR=\"${HOME}/Musik\"\n"
      "XDG_VIDEOS_DIR=\"$HOME/My \\\"Videos\\\"\"\n"
      "XDG_PICTURES_DIR=\"Pictures\"\n"
      "XDG_TEMPLATES_DIR=\"$HOMEX/t\"\n"
      "XDG_PUBLICSHARE_DIR=\"$HOME/\"\n"
      "XDG_DOWNLOAD_DIR=\"$HOME/old\"\n"
      "XDG_DOWNLOAD_DIR=\"$HOME/new\"\n";
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_DESKTOP_DIR", "/home/u"), "/home/u/Schreibtisch");
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_DOCUMENTS_DIR", "/home/u"), "/data/docs");
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_MUSIC_DIR", "/home/u"), "/home/u/Musik");
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_VIDEOS_DIR", "/home/u"), "/home/u/My \"Videos\"");
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_PICTURES_DIR", "/home/u"), "");  // relative: invalid
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_TEMPLATES_DIR", "/home/u"), "");
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_PUBLICSHARE_DIR", "/home/u"), "/home/u");
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_DOWNLOAD_DIR", "/home/u"), "/home/u/new");
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_NOPE_DIR", "/home/u"), "");
  EXPECT_EQ(ParseXdgUserDir(text, "XDG_DESKTOP_DIR", ""), "");
}

class UserFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearUserFolders(); }
  const fs::path home_ = test::TestHome();
  const fs::path configHome_ = test::TestConfigHome();
};

TEST_F(UserFoldersTest, RootFollowsXdgConfigHome) {
  EXPECT_EQ(GetAppDataRoot(), configHome_.string());
  {
    const ScopedEnv relative("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(GetAppDataRoot(), (home_ / ".config").string());
  }
  {
    const ScopedEnv unset("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(GetAppDataRoot(), (home_ / ".config").string());
  }
}

TEST_F(UserFoldersTest, UserFolderIsCreatedWithItsParents) {
  for (const std::string_view sub : {kConfigSubFolder, kDataSubFolder, kLogSubFolder, kTempSubFolder}) {
    const std::string folder = GetUserFolder(sub);
    EXPECT_EQ(folder, (configHome_ / sub).string());
    EXPECT_TRUE(fs::is_directory(folder));
  }
  const ScopedEnv unset("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_TRUE(fs::is_directory(GetUserFolder(kLogSubFolder)));
  EXPECT_TRUE(fs::is_directory(home_ / ".config" / "ZavAudioRecorder" / "Log"));
}

TEST_F(UserFoldersTest, EnsureDirectoryPathCreatesEveryLevel) {
  const fs::path deep = home_ / "a" / "b c" / "录音";
  EnsureDirectoryPath(deep.string() + "//");
  EXPECT_TRUE(fs::is_directory(deep));
  EnsureDirectoryPath(deep.string());  // existing: nothing to do, no complaint
}

TEST_F(UserFoldersTest, EnsureDirectoryPathReportsFoldersItCannotCreate) {
  test::WriteFile(home_ / "blocker", "a file, not a folder");
  const fs::path inner = home_ / "blocker" / "inner";
  const fs::path last = inner / "last";
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EnsureDirectoryPath(last.string());
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "standard output is a front end's result";
  EXPECT_EQ(printed, "create dir error fullPath: " + inner.string() + "\n" +
                         "create dir error curPath: " + last.string() + "\n");
}

TEST_F(UserFoldersTest, DocumentsAndDesktopComeFromUserDirs) {
  EXPECT_EQ(GetDocumentsFolder(), (home_ / "Documents").string());
  EXPECT_EQ(GetDesktopFolder(), (home_ / "Desktop").string());
  test::WriteFile(configHome_ / "user-dirs.dirs",
                  "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_DESKTOP_DIR=\"/srv/desk\"\n");
  EXPECT_EQ(GetDocumentsFolder(), (home_ / "Dokumente").string());
  EXPECT_EQ(GetDesktopFolder(), "/srv/desk");
}

class OutputFolderTest : public UserFoldersTest {
 protected:
  std::string StoredOutputDir() {
    return ConfigStore::Instance().ReadString("global", "output-dir", "<missing>");
  }
};

TEST_F(OutputFolderTest, DefaultsToDocumentsWithoutStoringIt) {
  fs::create_directories(home_ / "Documents");
  const std::string folder = GetOutputFolder();
  EXPECT_EQ(folder, (home_ / "Documents" / "ZAV电脑录音").string());
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(StoredOutputDir(), "<missing>");
}

TEST_F(OutputFolderTest, UsesTheXdgDocumentsFolder) {
  fs::create_directories(home_ / "Dokumente");
  test::WriteFile(configHome_ / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(GetOutputFolder(), (home_ / "Dokumente" / "ZAV电脑录音").string());
}

TEST_F(OutputFolderTest, FallsBackToDesktopWhenDocumentsIsMissing) {
  const std::string folder = GetOutputFolder();
  EXPECT_EQ(folder, (home_ / "Desktop" / "ZAV电脑录音").string());
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_FALSE(fs::exists(home_ / "Documents"));
  EXPECT_EQ(StoredOutputDir(), "<missing>");
}

TEST_F(OutputFolderTest, StoredFolderIsCreatedAgainAfterDeletion) {
  const fs::path chosen = home_ / "music" / "my recordings";
  ASSERT_TRUE(ConfigStore::Instance().WriteString("global", "output-dir", chosen.string()));
  EXPECT_EQ(GetOutputFolder(), chosen.string());
  EXPECT_TRUE(fs::is_directory(chosen));
  fs::remove_all(home_ / "music");
  EXPECT_EQ(GetOutputFolder(), chosen.string());
  EXPECT_TRUE(fs::is_directory(chosen));
}

// A long stored folder is used whole, never cut to a folder the user did not choose.
TEST_F(OutputFolderTest, LongStoredFolderIsUsedWhole) {
  std::u16string value = ToWide(home_.string());
  while (value.size() < 300) value += u"/" + std::u16string(60, u'录');
  ASSERT_TRUE(ConfigStore::Instance().WriteString("global", "output-dir", value));

  const std::string folder = GetOutputFolder();
  EXPECT_EQ(ToWide(folder), value);
  EXPECT_TRUE(fs::is_directory(folder));
}

}  // namespace
}  // namespace zav
