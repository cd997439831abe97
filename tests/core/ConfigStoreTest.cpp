#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "ConfigStore.h"
#include "CoreTestSupport.h"
#include "IniLines.h"
#include "UserFolders.h"

namespace zav {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// The size of this process's data segment and private writable mappings (VmData), which
// RLIMIT_DATA limits.
std::size_t DataSegmentBytes() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == "VmData:") {
      std::size_t kib = 0;
      status >> kib;
      return kib * 1024;
    }
  }
  return 0;
}

class ConfigStoreFileTest : public ::testing::Test {
 protected:
  test::TempFolder folder_;
  fs::path iniPath_ = folder_.path() / "configure.ini";
  ConfigStore store_{iniPath_.string()};
};

TEST_F(ConfigStoreFileTest, MissingFileGivesDefaultsAndFirstWriteCreatesIt) {
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 20);
  EXPECT_EQ(store_.ReadString("global", "output-dir", "none"), "none");
  EXPECT_FALSE(fs::exists(iniPath_));

  EXPECT_TRUE(store_.WriteString("global", "voice-size", "0"));
  EXPECT_EQ(ReadFile(iniPath_), "[global]\nvoice-size=0\n");
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 0);  // a stored 0 is not "missing"
  EXPECT_EQ(store_.ReadInt("global", "voice-source", -1), -1);
  EXPECT_EQ(store_.ReadInt("hotkey", "voice-size", -1), -1);
}

TEST_F(ConfigStoreFileTest, ReadIntParsesTheLeadingNumber) {
  WriteFile(iniPath_,
            "[global]\nvoice-size=12abc\nagc-check=abc\nnoise-check=\n"
            "window-close= -3 \nvoice-bitrate=320000\n");
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 12);
  EXPECT_EQ(store_.ReadInt("global", "agc-check", 5), 0);
  EXPECT_EQ(store_.ReadInt("global", "noise-check", 5), 5);  // empty value counts as missing
  EXPECT_EQ(store_.ReadInt("global", "window-close", 0), -3);
  EXPECT_EQ(store_.ReadInt("global", "voice-bitrate", 0), 320000);
}

TEST_F(ConfigStoreFileTest, NamesCompareWithoutCase) {
  WriteFile(iniPath_, "[GLOBAL]\nVoice-Size=33\n");
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 33);
  EXPECT_TRUE(store_.WriteString("Global", "VOICE-SIZE", "34"));
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 34);
  EXPECT_EQ(ReadFile(iniPath_), "[GLOBAL]\nVOICE-SIZE=34\n");  // replaced, not duplicated
}

TEST_F(ConfigStoreFileTest, ReadStringCutsToTheBuffer) {
  ASSERT_TRUE(store_.WriteString("global", "output-dir", u"/录音/abc"));
  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');

  EXPECT_TRUE(store_.ReadString("global", "output-dir", u"", buffer, 4));
  EXPECT_EQ(std::u16string(buffer), u"/录音");
  EXPECT_EQ(buffer[4], u'#');  // nothing written past bufferLength

  EXPECT_TRUE(store_.ReadString("global", "output-dir", u"", buffer, 8));
  EXPECT_EQ(std::u16string(buffer), u"/录音/abc");

  EXPECT_FALSE(store_.ReadString("global", "output-dir", u"", buffer, 1));
  EXPECT_EQ(buffer[0], u'\0');

  buffer[0] = u'#';
  EXPECT_FALSE(store_.ReadString("global", "output-dir", u"", buffer, 0));
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_FALSE(store_.ReadString("global", "output-dir", u"", nullptr, 8));
}

TEST_F(ConfigStoreFileTest, ReadStringDefaultAndEmptyValues) {
  char16_t buffer[16];
  EXPECT_TRUE(store_.ReadString("global", "missing", u"fallback-text", buffer, 9));
  EXPECT_EQ(std::u16string(buffer), u"fallback");
  EXPECT_FALSE(store_.ReadString("global", "missing", u"", buffer, 16));

  ASSERT_TRUE(store_.WriteString("global", "empty", ""));
  EXPECT_FALSE(store_.ReadString("global", "empty", u"fallback", buffer, 16));  // key exists
  EXPECT_EQ(std::u16string(buffer), u"");
}

TEST_F(ConfigStoreFileTest, ReadStringNeverKeepsHalfASurrogatePair) {
  ASSERT_TRUE(store_.WriteString("global", "name", u"ab😀"));
  char16_t buffer[8];
  EXPECT_TRUE(store_.ReadString("global", "name", u"", buffer, 4));
  EXPECT_EQ(std::u16string(buffer), u"ab");
  EXPECT_TRUE(store_.ReadString("global", "name", u"", buffer, 5));
  EXPECT_EQ(std::u16string(buffer), u"ab😀");
}

TEST_F(ConfigStoreFileTest, CorruptFileGivesDefaults) {
  std::mt19937 random(1234);
  std::string garbage(64 * 1024, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  WriteFile(iniPath_, garbage);
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 20);
  EXPECT_EQ(store_.ReadString("global", "output-dir", "none"), "none");

  WriteFile(iniPath_, "");
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 20);

  WriteFile(iniPath_, "[global");  // cut off mid-line
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 20);
}

TEST_F(ConfigStoreFileTest, WriteKeepsEveryLineItDoesNotChange) {
  using namespace std::string_literals;
  const std::string damaged = "\x01\xFF\xFE\0\0garbage\n[global]\nvoice-size=7\n\xC3\x28\0\n[hotkey]\nstop-key1=2"s;
  WriteFile(iniPath_, damaged);
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 7);

  ASSERT_TRUE(store_.WriteString("global", "agc-check", "1"));
  EXPECT_EQ(ReadFile(iniPath_),
            "\x01\xFF\xFE\0\0garbage\n[global]\nvoice-size=7\nagc-check=1\n\xC3\x28\0\n[hotkey]\nstop-key1=2"s);
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 7);
  EXPECT_EQ(store_.ReadInt("global", "agc-check", 0), 1);
  EXPECT_EQ(store_.ReadInt("hotkey", "stop-key1", 0), 2);
}

// The file is read through a buffer; lines around the buffer's size and past it must come
// out of a write exactly as the text rules say.
TEST_F(ConfigStoreFileTest, FileWritesMatchTheTextRulesForLongLines) {
  for (const std::size_t length : {ini::kMaxLineBytes - 3, ini::kMaxLineBytes - 2, ini::kMaxLineBytes - 1,
                                   ini::kMaxLineBytes, ini::kMaxLineBytes + 1, 3 * ini::kMaxLineBytes}) {
    for (const std::string tail : {"\n[global]\nk=1\n", "\r\nk=1", "", "\r"}) {
      const std::string text = "[global]\nlong=" + std::string(length, 'v') + tail;
      WriteFile(iniPath_, text);
      EXPECT_EQ(store_.ReadString("global", "k", "<missing>"), ini::Lookup(text, "global", "k", nullptr) ? "1" : "<missing>");
      ASSERT_TRUE(store_.WriteString("global", "k", "2"));
      EXPECT_TRUE(ReadFile(iniPath_) == ini::SetValue(text, "global", "k", "2")) << length << " " << tail.size();
    }
  }
}

// A large file takes no more memory than a line (run in a child with a limit on its heap).
TEST_F(ConfigStoreFileTest, LargeFileCostsNoMoreMemoryThanALine) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve memory beyond any heap limit";
#endif
  constexpr std::size_t kFileBytes = 32u << 20;
  {
    std::ofstream out(iniPath_, std::ios::binary);
    out << "[global]\n";
    const std::string emptyLines(1u << 20, '\n');
    for (std::size_t written = 0; written < kFileBytes; written += emptyLines.size()) out << emptyLines;
    out << "voice-size=33\n";
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit limit{};
    getrlimit(RLIMIT_DATA, &limit);
    limit.rlim_cur = DataSegmentBytes() + (16u << 20);
    if (setrlimit(RLIMIT_DATA, &limit) != 0) _exit(2);
    if (store_.ReadInt("global", "voice-size", 20) != 33) _exit(3);
    if (!store_.WriteString("global", "agc-check", "1")) _exit(4);
    if (store_.ReadInt("global", "agc-check", 0) != 1) _exit(5);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "status " << status << ": the store needed more than 16 MiB for a 32 MiB file of empty lines";
  EXPECT_EQ(fs::file_size(iniPath_), kFileBytes + std::string("[global]\nvoice-size=33\nagc-check=1\n").size());
}

TEST_F(ConfigStoreFileTest, UnreadableIniIsNeitherReadNorReplaced) {
  fs::create_directory(iniPath_);  // a folder where the file should be
  fs::create_directory(iniPath_ / "keep");
  EXPECT_EQ(store_.ReadInt("global", "voice-size", 20), 20);
  EXPECT_FALSE(store_.WriteString("global", "voice-size", "5"));
  EXPECT_TRUE(fs::exists(iniPath_ / "keep"));
  EXPECT_FALSE(fs::exists(iniPath_.string() + ".tmp"));
}

// Dotfile managers keep configure.ini as a link into a repository: a write must reach the file
// the links lead to and leave every link in place.
TEST_F(ConfigStoreFileTest, WritesGoThroughSymbolicLinksToTheFileTheyLeadTo) {
  const fs::path dotfiles = folder_.path() / "dotfiles";
  fs::create_directory(dotfiles);
  WriteFile(dotfiles / "zav.ini", "[global]\nvoice-size=5\n");
  fs::create_symlink(dotfiles / "zav.ini", folder_.path() / "middle.ini");
  fs::create_symlink("middle.ini", iniPath_);  // relative, to another link
  ASSERT_TRUE(store_.WriteString("global", "agc-check", "1"));
  EXPECT_TRUE(fs::is_symlink(iniPath_));
  EXPECT_TRUE(fs::is_symlink(folder_.path() / "middle.ini"));
  EXPECT_EQ(ReadFile(dotfiles / "zav.ini"), "[global]\nvoice-size=5\nagc-check=1\n");
  EXPECT_EQ(store_.ReadInt("global", "agc-check", 0), 1);
  EXPECT_FALSE(fs::exists(iniPath_.string() + ".tmp"));
  EXPECT_FALSE(fs::exists(dotfiles / "zav.ini.tmp"));

  // A link to a file not made yet: the first write makes it there.
  fs::remove(iniPath_);
  fs::create_symlink(dotfiles / "new.ini", iniPath_);
  ASSERT_TRUE(store_.WriteString("global", "voice-size", "7"));
  EXPECT_TRUE(fs::is_symlink(iniPath_));
  EXPECT_EQ(ReadFile(dotfiles / "new.ini"), "[global]\nvoice-size=7\n");

  // A loop of links leads nowhere: the write fails and the links stay.
  fs::remove(iniPath_);
  fs::create_symlink("loop.ini", iniPath_);
  fs::create_symlink(iniPath_.filename(), folder_.path() / "loop.ini");
  EXPECT_FALSE(store_.WriteString("global", "voice-size", "8"));
  EXPECT_TRUE(fs::is_symlink(iniPath_));
  EXPECT_TRUE(fs::is_symlink(folder_.path() / "loop.ini"));
}

TEST_F(ConfigStoreFileTest, RefusedValuesLeaveTheFileAlone) {
  ASSERT_TRUE(store_.WriteString("global", "output-dir", "/music"));
  EXPECT_FALSE(store_.WriteString("global", "output-dir", "/evil\n[hotkey]\nstop-key1=9"));
  EXPECT_EQ(ReadFile(iniPath_), "[global]\noutput-dir=/music\n");
}

TEST_F(ConfigStoreFileTest, WriteRecreatesAMissingFolder) {
  ConfigStore nested((folder_.path() / "a" / "b" / "configure.ini").string());
  EXPECT_TRUE(nested.WriteString("global", "k", "v"));
  EXPECT_EQ(nested.ReadString("global", "k"), "v");
}

TEST_F(ConfigStoreFileTest, ReadsSeeChangesMadeByOthers) {
  ASSERT_TRUE(store_.WriteString("global", "voice-source", "1"));
  EXPECT_EQ(store_.ReadInt("global", "voice-source", 0), 1);
  ConfigStore other(iniPath_.string());
  ASSERT_TRUE(other.WriteString("global", "voice-source", "2"));
  EXPECT_EQ(store_.ReadInt("global", "voice-source", 0), 2);
  WriteFile(iniPath_, "[global]\nvoice-source=0\n");
  EXPECT_EQ(store_.ReadInt("global", "voice-source", 9), 0);
}

class ConfigStoreInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearUserFolders(); }
};

TEST_F(ConfigStoreInstanceTest, LivesInTheConfigFolder) {
  const fs::path expected = test::TestConfigHome() / "ZavAudioRecorder" / "Config" / "configure.ini";
  EXPECT_EQ(ConfigStore::Instance().path(), expected.string());
  EXPECT_EQ(&ConfigStore::Instance(), &ConfigStore::Instance());
  EXPECT_TRUE(fs::is_directory(expected.parent_path()));
}

TEST_F(ConfigStoreInstanceTest, DeletedConfigFolderComesBack) {
  ASSERT_TRUE(ConfigStore::Instance().WriteString("global", "voice-size", "55"));
  const fs::path configFolder = fs::path(ConfigStore::Instance().path()).parent_path();
  fs::remove_all(configFolder);

  ConfigStore& store = ConfigStore::Instance();
  EXPECT_EQ(store.ReadInt("global", "voice-size", 20), 20);  // old settings are gone
  // The next write brings the folder back.
  EXPECT_TRUE(store.WriteString("global", "voice-size", "56"));
  EXPECT_TRUE(fs::is_directory(configFolder));
  EXPECT_EQ(ConfigStore::Instance().ReadInt("global", "voice-size", 20), 56);
}

}  // namespace
}  // namespace zav
