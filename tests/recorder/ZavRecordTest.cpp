// zav-record as scripts and impatient users drive it: its standard output, odd option
// values, and two recorders started together next to names that are already taken.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "AudioFile.h"
#include "ChildProcess.h"
#include "CliTexts.h"
#include "RecorderHarness.h"
#include "RecordingName.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Runs zav-record through bash with a redirection of its standard streams; the result's output
// is what reached the test's pipe.
CommandResult RunRedirected(const std::string& arguments, const std::string& redirection,
                            const EnvironmentChanges& environment = {}) {
  const std::string script = "\"$0\" " + arguments + " " + redirection + "; exit ${PIPESTATUS[0]}";
  return RunCommand({"bash", "-c", script, ZAV_RECORD_PATH}, environment, 30s);
}

TEST(ZavRecord, StandardOutputCarriesThePathAndNothingElse) {
  TempFolder folder;
  const std::string home = folder.path() + "/home";
  fs::create_directories(home);
  const std::string configFile = folder.path() + "/config-is-a-file";
  std::ofstream(configFile) << "x";
  const std::string errors = folder.path() + "/errors";
  // The per-user folders cannot be created: complaints go to standard error only.
  const CommandResult r = RunRedirected("--mute --seconds 1", "2>'" + errors + "'",
                                        {{"HOME", home}, {"XDG_CONFIG_HOME", configFile}});
  ASSERT_TRUE(r.finished);
  ASSERT_EQ(r.exitCode, 0) << ReadAll(errors);
  ASSERT_FALSE(r.output.empty());
  EXPECT_EQ(r.output.find('\n'), r.output.size() - 1) << "more than a path: " << r.output;
  const std::string path = r.output.substr(0, r.output.size() - 1);
  EXPECT_EQ(fs::path(path).parent_path(), fs::path(home) / "Desktop" / "ZAV电脑录音");
  const DecodedAudio audio = DecodeFile(path);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_NEAR(audio.seconds(), 1.0, 0.15);
  EXPECT_NE(ReadAll(errors).find("create dir error"), std::string::npos) << ReadAll(errors);
}

TEST(ZavRecord, APathThatCannotBePrintedIsAFailure) {
  TempFolder folder;
  const std::string arguments = "--mute --seconds 0.5 --output-dir '" + folder.path() + "'";
  for (const std::string redirection : {">&-", ">/dev/full", "| true"}) {
    const CommandResult r = RunRedirected(arguments, redirection);
    ASSERT_TRUE(r.finished) << redirection;
    EXPECT_EQ(r.exitCode, 1) << redirection << ": " << r.output;
    EXPECT_NE(r.output.find("print"), std::string::npos) << redirection << ": " << r.output;
  }
  // With standard output closed nothing is recorded, and no file took its place.
  for (const std::string& file : Recordings(folder.path())) EXPECT_TRUE(DecodeFile(file).ok) << file;
}

TEST(ZavRecord, OptionValuesTooLargeForTheirTypeAreUsageErrors) {
  TempFolder folder;
  for (const std::vector<std::string>& option : std::vector<std::vector<std::string>>{
           {"--seconds", "1e300"}, {"--seconds", "1e-400"}, {"--bitrate", "99999999999"},
           {"--boost", "4294967316"}, {"--seconds", "inf"}}) {
    std::vector<std::string> argv{ZAV_RECORD_PATH, "--mute", "--output-dir", folder.path()};
    argv.insert(argv.end(), option.begin(), option.end());
    const CommandResult r = RunCommand(argv, {}, 10s);
    ASSERT_TRUE(r.finished) << option[1];
    EXPECT_EQ(r.exitCode, 2) << option[1] << ": " << r.output;
  }
  EXPECT_TRUE(Recordings(folder.path()).empty());
}

// A script starts its background commands with SIGINT ignored, and nohup ignores SIGHUP: the
// first must still end the recording cleanly, the second must not.
TEST(ZavRecord, SigintEndsABackgroundRecordingAndNohupKeepsItThroughSighup) {
  TempFolder folder;
  const std::string log = folder.path() + "/.log";
  const pid_t pid = SpawnDaemon({FindProgram("bash"), "-c", "trap '' INT HUP; exec \"$0\" --mute --output-dir \"$1\"",
                                 ZAV_RECORD_PATH, folder.path()},
                                BuildEnvironment({}), log);
  ASSERT_GT(pid, 0);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (Recordings(folder.path()).empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(1200ms);
  kill(pid, SIGHUP);
  std::this_thread::sleep_for(300ms);
  kill(pid, SIGINT);
  EXPECT_EQ(WaitExit(pid, 5s), 0) << ReadAll(log);
  const std::vector<std::string> files = Recordings(folder.path());
  ASSERT_EQ(files.size(), 1u);
  const DecodedAudio audio = DecodeFile(files[0]);
  ASSERT_TRUE(audio.ok) << audio.error;
  EXPECT_GT(audio.seconds(), 1.35) << "SIGHUP ended a recording started under nohup";
}

// A paused terminal or a full pipe on standard output: once the file is finished, writing its
// path must never keep Ctrl+C or SIGTERM from ending the program.
TEST(ZavRecord, ABlockedStandardOutputNeverMakesItUnkillable) {
  TempFolder folder;
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
  const std::string fill(4096, 'x');
  while (write(pipeFds[1], fill.data(), fill.size()) > 0) {
  }
  fcntl(pipeFds[1], F_SETFL, 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    execl(ZAV_RECORD_PATH, ZAV_RECORD_PATH, "--mute", "--seconds", "0.5", "--output-dir", folder.path().c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  // Recorded, finished, and now stuck writing the path.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline &&
         (Recordings(folder.path()).empty() || !DecodeFile(Recordings(folder.path())[0]).ok))
    std::this_thread::sleep_for(50ms);
  std::this_thread::sleep_for(500ms);
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 3s), 128 + SIGTERM) << "SIGTERM did not end it";
  close(pipeFds[0]);
  const std::vector<std::string> files = Recordings(folder.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NEAR(DecodeFile(files[0]).seconds(), 0.5, 0.1);
}

// Standard error is for people: voice processing that wav ignores is said to be ignored, and
// nothing else is printed.
TEST(ZavRecord, VoiceProcessingOptionsWithWavAreSaidToBeIgnored) {
  TempFolder folder;
  const CommandResult r = RunCommand({ZAV_RECORD_PATH, "--mute", "--format", "wav", "--noise", "--boost", "30",
                                      "--echo-cancel", "--seconds", "0.3", "--output-dir", folder.path()},
                                     {{"XDG_CONFIG_HOME", folder.path() + "/config"}}, 10s);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::istringstream lines(r.output);
  std::vector<std::string> said;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind('/', 0) != 0) said.push_back(line);
  EXPECT_EQ(said, (std::vector<std::string>{
                      "zav-record: --noise does not apply to wav, which is recorded without voice processing; ignored",
                      "zav-record: --boost does not apply to wav, which is recorded without voice processing; ignored",
                      "zav-record: --echo-cancel does not apply to wav, which is recorded without voice processing; ignored"}));
}

// The help and the sentences for people follow the user's language (LANGUAGE first, then
// LC_ALL, LC_MESSAGES, LANG); what programs read (the path) does not. Every Chinese text has
// the places for values that its English has.
TEST(ZavRecord, MessagesFollowTheUsersLanguage) {
  for (const CliText& text : CliTexts()) {
    auto places = [](std::string_view t) {
      size_t n = 0;
      for (size_t at = t.find("{}"); at != std::string_view::npos; at = t.find("{}", at + 2)) ++n;
      return n;
    };
    EXPECT_EQ(places(text.english), places(text.chinese)) << text.english;
  }
  const EnvironmentChanges chinese{{"LANGUAGE", std::nullopt}, {"LC_ALL", std::nullopt},
                                   {"LC_MESSAGES", std::nullopt}, {"LANG", "zh_CN.UTF-8"}};
  const EnvironmentChanges english{{"LANGUAGE", "en_GB:zh_CN"}, {"LANG", "zh_CN.UTF-8"}};

  CommandResult r = RunCommand({ZAV_RECORD_PATH, "--help"}, chinese, 10s);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output.rfind("用法:zav-record [选项]\n", 0), 0u) << r.output;
  r = RunCommand({ZAV_RECORD_PATH, "--help"}, english, 10s);
  EXPECT_EQ(r.output.rfind("Usage: zav-record [options]\n", 0), 0u) << r.output;

  r = RunCommand({ZAV_RECORD_PATH, "--format", "ogg"}, chinese, 10s);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output, "zav-record: 未知的格式“ogg”(可用 mp3、m4a 或 wav)\n用“zav-record --help”查看用法。\n");
  r = RunCommand({ZAV_RECORD_PATH, "--format", "ogg"}, english, 10s);
  EXPECT_EQ(r.output, "zav-record: unknown format 'ogg' (mp3, m4a or wav)\nTry 'zav-record --help'.\n");

  TempFolder folder;
  EnvironmentChanges recording = chinese;
  recording["XDG_CONFIG_HOME"] = folder.path() + "/config";
  r = RunCommand({ZAV_RECORD_PATH, "--mute", "--format", "wav", "--agc", "--seconds", "0.3", "--output-dir",
                  folder.path()},
                 recording, 10s);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("zav-record: --agc 不适用于 wav(wav 录音不做语音处理),已忽略\n/"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("/新录音-"), std::string::npos) << r.output;
}

// Two recorders started in the same second, next to links planted at the names of the coming
// seconds: two playable files, and the links and their target untouched.
TEST(ZavRecord, TwoRecordersInOneSecondLeaveTwoFilesAndWriteThroughNoLink) {
  TempFolder folder;
  TempFolder elsewhere;
  const std::string target = elsewhere.path() + "/precious.txt";
  std::ofstream(target) << "precious";
  const auto now = std::chrono::system_clock::now();
  const auto start = std::chrono::ceil<std::chrono::seconds>(now) + 20ms;
  std::vector<std::string> links;
  for (int s = 0; s < 4; ++s) {
    const std::time_t second = std::chrono::system_clock::to_time_t(start) + s;
    links.push_back(folder.path() + "/" + MakeRecordingFileName(second, "mp3"));
    fs::create_symlink(target, links.back());
  }
  std::this_thread::sleep_until(start);
  const std::vector<std::string> argv{ZAV_RECORD_PATH, "--mute", "--seconds", "2", "--output-dir", folder.path()};
  const pid_t a = SpawnDaemon(argv, BuildEnvironment({}), elsewhere.path() + "/a.log");
  const pid_t b = SpawnDaemon(argv, BuildEnvironment({}), elsewhere.path() + "/b.log");
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(WaitExit(a, 20s), 0) << ReadAll(elsewhere.path() + "/a.log");
  EXPECT_EQ(WaitExit(b, 20s), 0) << ReadAll(elsewhere.path() + "/b.log");

  const std::vector<std::string> files = Recordings(folder.path());
  ASSERT_EQ(files.size(), 2u);
  for (const std::string& file : files) {
    EXPECT_FALSE(fs::is_symlink(file)) << file;
    const DecodedAudio audio = DecodeFile(file);
    ASSERT_TRUE(audio.ok) << file << ": " << audio.error;
    EXPECT_NEAR(audio.seconds(), 2.0, 0.15) << file;
  }
  EXPECT_EQ(ReadAll(target), "precious") << "written through a link";
  for (const std::string& link : links) EXPECT_TRUE(fs::is_symlink(link)) << link;
}

}  // namespace
}  // namespace zav::test
