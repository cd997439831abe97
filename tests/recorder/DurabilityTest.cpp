// What survives when things go wrong: a killed recorder, a full disk, a folder that cannot
// be written. Drives the real zav-record program (muted, so no sound server is needed)
// and reads its files back.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "AudioFile.h"
#include "ChildProcess.h"
#include "MediaDuration.h"
#include "Mp4Remux.h"
#include "RecorderHarness.h"
#include "SmallDisk.h"
#include "WavFile.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

pid_t StartRecorder(const std::string& folder, const std::string& format, const std::string& log) {
  return SpawnDaemon({ZAV_RECORD_PATH, "--mute", "--format", format, "--output-dir", folder}, BuildEnvironment({}), log);
}

// What a recordings list shows: *.mp3, *.wav, *.m4a in any case.
std::vector<std::string> ListedFiles(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string extension = entry.path().extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".mp3" || extension == ".wav" || extension == ".m4a") out.push_back(entry.path().string());
  }
  return out;
}

std::vector<std::string> RewriteTemporaries(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& entry : fs::directory_iterator(folder))
    if (IsRewriteTemporaryName(entry.path().filename().string())) out.push_back(entry.path().string());
  return out;
}

// A fragmented m4a as a killed recorder leaves it.
std::string KilledM4a(const std::string& folder, std::chrono::seconds length) {
  const pid_t pid = StartRecorder(folder, "m4a", folder + "/.log");
  if (pid <= 0) return {};
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (Recordings(folder).empty() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(length);
  kill(pid, SIGKILL);
  WaitExit(pid, 5s);
  const auto files = Recordings(folder);
  return files.size() == 1 ? files[0] : std::string();
}

class KillTest : public ::testing::TestWithParam<std::tuple<std::string, int>> {};

TEST_P(KillTest, KilledRecordingStillDecodes) {
  const auto [format, seconds] = GetParam();
  TempFolder folder;
  const pid_t pid = StartRecorder(folder.path(), format, folder.path() + "/.log");
  ASSERT_GT(pid, 0);
  // The recording starts a moment after the process; count from when its file appears.
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (Recordings(folder.path()).empty() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  kill(pid, SIGKILL);
  WaitExit(pid, 5s);

  const auto files = Recordings(folder.path());
  ASSERT_EQ(files.size(), 1u);
  const DecodedAudio audio = DecodeFile(files[0]);
  ASSERT_TRUE(audio.ok) << format << ": " << audio.error;
  EXPECT_GE(audio.seconds(), seconds - 1.5) << format;
  EXPECT_LE(audio.seconds(), seconds + 0.5) << format;
}

INSTANTIATE_TEST_SUITE_P(Formats, KillTest,
                         ::testing::Combine(::testing::Values("mp3", "m4a", "wav"), ::testing::Values(3, 6)));

TEST(Durability, OutputReachesTheDiskAtLeastOnceASecond) {
  for (const std::string format : {"mp3", "m4a", "wav"}) {
    TempFolder folder;
    const pid_t pid = StartRecorder(folder.path(), format, folder.path() + "/.log");
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(1500ms);
    const auto files = Recordings(folder.path());
    ASSERT_EQ(files.size(), 1u) << format;
    uintmax_t lastSize = fs::file_size(files[0]);
    auto lastGrowth = std::chrono::steady_clock::now();
    double longestStill = 0;
    // For 3 s, counting the stretch before the first growth and after the last: a file that
    // grows less than once a second stands still for more than a second in there.
    for (int i = 0; i < 30; ++i) {
      std::this_thread::sleep_for(100ms);
      const uintmax_t size = fs::file_size(files[0]);
      const auto now = std::chrono::steady_clock::now();
      if (size != lastSize) {
        longestStill = std::max(longestStill, std::chrono::duration<double>(now - lastGrowth).count());
        lastSize = size;
        lastGrowth = now;
      }
    }
    longestStill = std::max(longestStill, std::chrono::duration<double>(std::chrono::steady_clock::now() - lastGrowth).count());
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid, 5s), 0) << format;
    EXPECT_LE(longestStill, 1.05) << format << ": the file stood still too long";
  }
}

TEST(Durability, FinishedFilesAreOrdinary) {
  TempFolder folder;
  for (const std::string format : {"mp3", "m4a", "wav"}) {
    const CommandResult r = RunCommand(
        {ZAV_RECORD_PATH, "--mute", "--format", format, "--seconds", "1", "--output-dir", folder.path()}, {}, 20s);
    ASSERT_TRUE(r.finished && r.exitCode == 0) << r.output;
  }
  for (const auto& file : Recordings(folder.path())) {
    const std::string bytes = ReadAll(file);
    const DecodedAudio audio = DecodeFile(file);
    ASSERT_TRUE(audio.ok) << file << ": " << audio.error;
    EXPECT_NEAR(audio.seconds(), 1.0, 0.15) << file;
    EXPECT_NEAR(audio.containerSeconds, 1.0, 0.15) << file << ": the container's own duration";
    if (file.ends_with(".m4a")) {
      EXPECT_EQ(bytes.find("moof"), std::string::npos) << "a finished m4a is still fragmented";
      EXPECT_NE(bytes.find("stsz"), std::string::npos) << "a finished m4a has no sample index";
    }
    if (file.ends_with(".wav")) {
      WavLayout layout;
      ASSERT_TRUE(ParseWavLayout(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &layout));
      EXPECT_EQ(layout.dataStart + layout.dataSize, bytes.size());
      EXPECT_EQ(layout.riffSize + 8u, bytes.size());
    }
  }
}

TEST(Durability, WavWithPlaceholderSizesIsRepairedWithoutLoss) {
  TempFolder folder;
  const CommandResult r = RunCommand(
      {ZAV_RECORD_PATH, "--mute", "--format", "wav", "--seconds", "1.5", "--output-dir", folder.path()}, {}, 20s);
  ASSERT_TRUE(r.finished && r.exitCode == 0) << r.output;
  const std::string file = Recordings(folder.path()).at(0);
  std::string bytes = ReadAll(file);
  WavLayout layout;
  ASSERT_TRUE(ParseWavLayout(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &layout));
  // What a writer that died before patching its header leaves behind.
  std::fill_n(bytes.begin() + 4, 4, '\0');
  std::fill_n(bytes.begin() + static_cast<long>(layout.dataSizeOffset), 4, '\0');
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

  EXPECT_EQ(RepairUnpatchedWav(file), 1);
  EXPECT_EQ(RepairUnpatchedWav(file), 0) << "a repaired file is repaired again";
  const std::string repaired = ReadAll(file);
  ASSERT_TRUE(ParseWavLayout(reinterpret_cast<const uint8_t*>(repaired.data()), repaired.size(), &layout));
  EXPECT_EQ(layout.dataStart + layout.dataSize, repaired.size());
  EXPECT_EQ(repaired.substr(layout.dataStart), bytes.substr(layout.dataStart)) << "samples changed";
  EXPECT_NEAR(DecodeFile(file).seconds(), 1.5, 0.15);

  const std::string notWav = folder.path() + "/notes.wav";
  std::ofstream(notWav) << "hello";
  EXPECT_EQ(RepairUnpatchedWav(notWav), -1);
  EXPECT_EQ(ReadAll(notWav), "hello");
}

TEST(Durability, KilledWavIsRepairedBeforeItsDurationIsRead) {
  TempFolder folder;
  const pid_t pid = StartRecorder(folder.path(), "wav", folder.path() + "/.log");
  ASSERT_GT(pid, 0);
  std::this_thread::sleep_for(3s);
  kill(pid, SIGKILL);
  WaitExit(pid, 5s);
  const std::string file = Recordings(folder.path()).at(0);
  // Make it look like a writer that never patched its header at all.
  {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4);
    f.write("\0\0\0\0", 4);
  }
  const uintmax_t bytes = fs::file_size(file);
  const std::string before = ReadAll(file);
  ReadMediaDuration(file);
  EXPECT_EQ(ReadAll(file), before) << "reading a duration wrote the file";
  EXPECT_EQ(RepairUnpatchedWav(file), 1);
  const double duration = ReadMediaDuration(file);
  EXPECT_NEAR(duration, static_cast<double>(bytes - 100) / 176400, 0.05);
  EXPECT_GT(duration, 1.5);
  EXPECT_EQ(fs::file_size(file), bytes) << "repair changed the audio";
  EXPECT_EQ(ReadMediaDuration(folder.path() + "/missing.wav"), -1);
}

TEST(Durability, AnAlreadyFullDiskLeavesNoFileAndSaysNothingWasWritten) {
  TempFolder folder;
  for (const std::string format : {"wav", "mp3", "m4a"}) {
    const std::string disk = folder.path() + "/full-" + format;
    SmallDisk small(disk, "size=256k");
    if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
    small.LeaveFree(0);
    const CommandResult r = RunCommand({ZAV_RECORD_PATH, "--mute", "--format", format, "--seconds", "1",
                                        "--output-dir", disk},
                                       {{"XDG_CONFIG_HOME", folder.path() + "/config"}}, 20s);
    ASSERT_TRUE(r.finished) << format;
    EXPECT_EQ(r.exitCode, 3) << format << ": " << r.output;
    EXPECT_TRUE(Recordings(disk).empty()) << format << ": an empty file was left";
    // One sentence, for people.
    EXPECT_EQ(r.output.find("zav-record: nothing could be written"), 0u) << format << ": " << r.output;
    EXPECT_EQ(r.output.find('\n'), r.output.size() - 1) << format << ": " << r.output;
  }
}

TEST(Durability, FullDiskStopsTheRecordingAndKeepsWhatWasWritten) {
  TempFolder folder;
  for (const std::string format : {"wav", "mp3", "m4a"}) {
    const std::string disk = folder.path() + "/disk-" + format;
    SmallDisk small(disk, "size=1m");
    if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
    // Room for a few seconds: 16-bit stereo, 128 kbit/s mp3, and silent AAC (a few hundred bytes a second).
    small.LeaveFree(format == "wav" ? 512 * 1024 : format == "mp3" ? 48 * 1024 : 4096);
    const auto start = std::chrono::steady_clock::now();
    const CommandResult r =
        RunCommand({ZAV_RECORD_PATH, "--mute", "--format", format, "--output-dir", disk}, {}, 30s);
    const double ran = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(r.finished) << format << ": still recording on a full disk";
    EXPECT_EQ(r.exitCode, 3) << r.output;
    EXPECT_NE(r.output.find("disk"), std::string::npos) << r.output;
    const auto files = Recordings(disk);
    ASSERT_EQ(files.size(), 1u);
    const DecodedAudio audio = DecodeFile(files[0]);
    ASSERT_TRUE(audio.ok) << format << ": " << audio.error;
    // It stopped within about a second of the disk filling up, and kept what was written.
    EXPECT_GT(audio.seconds(), 1.0) << format;
    EXPECT_LT(ran - audio.seconds(), 2.5) << format << ": ran " << ran << " s for " << audio.seconds() << " s of audio";
  }
}

TEST(Durability, ACrashDuringTheM4aRewriteKeepsTheRecordingAndTheNextStartClearsUp) {
  TempFolder folder;
  const std::string file = KilledM4a(folder.path(), 3s);
  ASSERT_FALSE(file.empty());
  const std::string fragmented = ReadAll(file);

  // The rewrite dies half way: the file size limit kills it while it writes its copy.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const rlimit halfTheFile{fragmented.size() / 2, fragmented.size() / 2};
    setrlimit(RLIMIT_FSIZE, &halfTheFile);
    const int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
    RemuxToPlainMp4(fd, file);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "the rewrite did not crash, status " << status;

  EXPECT_EQ(ReadAll(file), fragmented) << "the recording changed";
  const DecodedAudio audio = DecodeFile(file);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_GT(audio.seconds(), 2.0);
  EXPECT_EQ(ListedFiles(folder.path()), std::vector<std::string>{file}) << "a recordings list shows the leftover";
  ASSERT_EQ(RewriteTemporaries(folder.path()).size(), 1u);

  // A rewrite still running in another process holds its file: it is not a leftover.
  const std::string busy = folder.path() + "/.新录音-busy.m4a.zavtmp";
  const int busyFd = open(busy.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(flock(busyFd, LOCK_EX), 0);
  const CommandResult r = RunCommand(
      {ZAV_RECORD_PATH, "--mute", "--format", "wav", "--seconds", "0.5", "--output-dir", folder.path()}, {}, 20s);
  EXPECT_TRUE(r.finished && r.exitCode == 0) << r.output;
  EXPECT_EQ(RewriteTemporaries(folder.path()), std::vector<std::string>{busy}) << "the leftover was not removed";
  close(busyFd);
  EXPECT_EQ(ReadAll(file), fragmented);
}

TEST(Durability, AnM4aWithoutRoomForItsRewriteStaysFragmentedAndSaysSo) {
  TempFolder folder;
  const std::string disk = folder.path() + "/disk";
  SmallDisk small(disk, "size=1m");
  if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
  small.LeaveFree(4096);  // room for a second of silent AAC, none for its rewritten copy
  const CommandResult r =
      RunCommand({ZAV_RECORD_PATH, "--mute", "--format", "m4a", "--seconds", "1", "--output-dir", disk}, {}, 20s);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("it was kept fragmented"), std::string::npos) << r.output;
  const auto files = Recordings(disk);
  ASSERT_EQ(files.size(), 1u);
  const DecodedAudio audio = DecodeFile(files[0]);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), 1.0, 0.15);
  EXPECT_TRUE(RewriteTemporaries(disk).empty());
}

TEST(Durability, AFolderDeletedWhileRecordingEndsTheRecordingAsAFailure) {
  TempFolder folder;
  const std::string out = folder.path() + "/out";
  fs::create_directories(out);
  const std::string log = folder.path() + "/log";
  const pid_t pid = StartRecorder(out, "mp3", log);
  ASSERT_GT(pid, 0);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (Recordings(out).empty() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(1s);
  fs::remove_all(out);
  EXPECT_EQ(WaitExit(pid, 5s), 1) << "it went on recording into a deleted file, or called that a success";
  EXPECT_NE(ReadAll(log).find("deleted or moved"), std::string::npos) << ReadAll(log);
}

TEST(Durability, UnwritableFolderIsRefusedAndNothingKeepsRunning) {
  TempFolder folder;
  const std::string plainFile = folder.path() + "/plain";
  std::ofstream(plainFile) << "x";
  const CommandResult notAFolder =
      RunCommand({ZAV_RECORD_PATH, "--mute", "--seconds", "5", "--output-dir", plainFile + "/sub"}, {}, 10s);
  EXPECT_TRUE(notAFolder.finished);
  EXPECT_NE(notAFolder.exitCode, 0);
  EXPECT_NE(notAFolder.output.find("cannot write"), std::string::npos) << notAFolder.output;

  const std::string disk = folder.path() + "/ro";
  SmallDisk readOnly(disk, "size=64k");
  if (!readOnly.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
  readOnly.MakeReadOnly();
  const auto start = std::chrono::steady_clock::now();
  const CommandResult r = RunCommand({ZAV_RECORD_PATH, "--mute", "--seconds", "5", "--output-dir", disk}, {}, 10s);
  EXPECT_TRUE(r.finished);
  EXPECT_NE(r.exitCode, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "it recorded into a read-only folder";
  EXPECT_TRUE(Recordings(disk).empty());
}

}  // namespace
}  // namespace zav::test
