// The installer download against the stand-in service: what is requested, progress, the
// checksum, and every way a download fails or is cancelled.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "CancelToken.h"
#include "HttpDownload.h"
#include "NetTestData.h"
#include "UserFolders.h"
#include "VendorService.h"

namespace zav {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

class HttpDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.Start());
    folder_ = fs::temp_directory_path() / ("zav-download-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    target_ = (folder_ / "installer").string();
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Serve(size_t size, const std::function<void(tools::VendorAnswers&)>& change = {}) {
    tools::VendorAnswers answers;
    answers.installerBytes = test::PatternBytes(size);
    if (change) change(answers);
    service_.SetAnswers(answers);
  }

  DownloadResult Fetch(const std::string& url, std::string_view sha256 = {}, DownloadLimits limits = {}) {
    percents_.clear();
    HttpDownload download(cancel_, limits);
    return download.DownloadInstaller(url, target_, sha256, [this](int percent) { percents_.push_back(percent); });
  }

  tools::VendorService service_;
  CancelToken cancel_;
  fs::path folder_;
  std::string target_;
  std::vector<int> percents_;
};

TEST_F(HttpDownloadTest, ThousandBytesArriveInOneStepAndTheQueryIsNotSent) {
  Serve(1000, [](tools::VendorAnswers& a) { a.installerName = "setup.exe"; });
  const std::string url = service_.BaseUrl() + "/files/setup.exe?v=2";
  EXPECT_EQ(InstallerFileName(url), "setup.exe");
  ASSERT_EQ(Fetch(url), DownloadResult::kComplete);
  EXPECT_EQ(percents_, std::vector<int>{100});
  EXPECT_EQ(ReadFile(target_), test::PatternBytes(1000));

  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[1].method, "GET");
  for (const auto& request : requests) {
    EXPECT_EQ(request.path, "/files/setup.exe");
    EXPECT_TRUE(request.query.empty());
  }
}

TEST_F(HttpDownloadTest, EachWholePercentageIsReportedOnceInOrder) {
  Serve(300'000);
  ASSERT_EQ(Fetch(service_.InstallerUrl()), DownloadResult::kComplete);
  ASSERT_FALSE(percents_.empty());
  EXPECT_LE(percents_.size(), 100u);
  EXPECT_EQ(percents_.back(), 100);
  EXPECT_TRUE(std::is_sorted(percents_.begin(), percents_.end()));
  EXPECT_EQ(std::adjacent_find(percents_.begin(), percents_.end()), percents_.end());
  EXPECT_EQ(fs::file_size(target_), 300'000u);
}

TEST_F(HttpDownloadTest, ChecksumDecidesWhetherTheInstallerIsComplete) {
  Serve(1000);
  EXPECT_EQ(Fetch(service_.InstallerUrl(), test::kPattern1000Sha256), DownloadResult::kComplete);
  std::string wrong = test::kPattern1000Sha256;
  wrong[10] = wrong[10] == '0' ? '1' : '0';
  EXPECT_EQ(Fetch(service_.InstallerUrl(), wrong), DownloadResult::kBadChecksum);
  EXPECT_FALSE(fs::exists(target_));
}

// A service that announces more than any installer, more than the disk holds, or sends more
// than it announced: refused or stopped, and nothing is left behind.
TEST_F(HttpDownloadTest, OversizedOrEndlessInstallersAreRefusedAndLeaveNoFile) {
  Serve(1000, [](tools::VendorAnswers& a) { a.announcedSize = int64_t{50} << 30; });
  EXPECT_EQ(Fetch(service_.InstallerUrl()), DownloadResult::kTooLarge);
  EXPECT_EQ(service_.CountRequests("GET", "/files/ZavAudioRecorderSetup.bin"), 0u);
  EXPECT_FALSE(fs::exists(target_));

  Serve(1000, [](tools::VendorAnswers& a) { a.announcedSize = int64_t{1} << 60; });
  DownloadLimits unbounded;
  unbounded.maxInstallerBytes = INT64_MAX;
  EXPECT_EQ(Fetch(service_.InstallerUrl(), {}, unbounded), DownloadResult::kNoSpace);
  EXPECT_EQ(service_.CountRequests("GET", "/files/ZavAudioRecorderSetup.bin"), 0u);
  EXPECT_FALSE(fs::exists(target_));

  Serve(1000, [](tools::VendorAnswers& a) { a.endlessInstaller = true; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch(service_.InstallerUrl()), DownloadResult::kTooLarge);
  EXPECT_LT(test::MillisecondsSince(start), 5000);
  EXPECT_FALSE(fs::exists(target_));
}

TEST_F(HttpDownloadTest, NoSizeErrorStatusOrForeignRedirectFails) {
  Serve(1000, [](tools::VendorAnswers& a) { a.announceSize = false; });
  EXPECT_EQ(Fetch(service_.InstallerUrl()), DownloadResult::kFailed);
  EXPECT_FALSE(fs::exists(target_));

  Serve(1000);
  EXPECT_EQ(Fetch(service_.BaseUrl() + "/files/missing.bin"), DownloadResult::kFailed);
  EXPECT_FALSE(fs::exists(target_));

  Serve(1000, [](tools::VendorAnswers& a) { a.redirectTarget = "file:///etc/hostname"; });
  EXPECT_EQ(Fetch(service_.BaseUrl() + "/moved"), DownloadResult::kFailed);
  Serve(1000, [this](tools::VendorAnswers& a) { a.redirectTarget = service_.InstallerUrl(); });
  EXPECT_EQ(Fetch(service_.BaseUrl() + "/moved"), DownloadResult::kComplete);

  for (const char* unusable : {"http://h/", "http://h/..", "http://h/.", "setup.exe"}) {
    EXPECT_EQ(InstallerFileName(unusable), "") << unusable;
  }
}

// The name comes from the address's path alone, and whatever the address, the file lands in
// the Temp folder.
TEST_F(HttpDownloadTest, TheFileNameComesFromThePathAndStaysInTheTempFolder) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"http://h/files/installer.deb#/..\\..\\evil", "installer.deb"},
      {"http://h/files/setup.exe?v=2#x", "setup.exe"},
      {"http://h/files/..\\..\\evil", "evil"},
      {"http://h/files/?name=/../../evil", ""},
      {"http://h/files/..#/evil", ""},
      {"http://h/files/%2e%2e%2fevil", "%2e%2e%2fevil"},
  };
  // The user's folders below this test's own folder.
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string savedConfigHome = configHome ? configHome : "";
  ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  const fs::path temp = GetUserFolder(kTempSubFolder);
  EXPECT_EQ(temp.parent_path().parent_path(), folder_);
  for (const auto& [url, name] : cases) {
    EXPECT_EQ(InstallerFileName(url), name) << url;
    const std::string path = InstallerTargetPath(url);
    if (name.empty()) {
      EXPECT_EQ(path, "") << url;
    } else {
      EXPECT_EQ(fs::path(path).parent_path(), temp) << url;
      EXPECT_EQ(fs::path(path).filename(), name) << url;
    }
  }
  if (configHome) {
    ::setenv("XDG_CONFIG_HOME", savedConfigHome.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

TEST_F(HttpDownloadTest, StalledDownloadFailsAndCancelledOneKeepsItsPart) {
  Serve(1000, [](tools::VendorAnswers& a) { a.stallInstaller = true; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch(service_.InstallerUrl(), {}, DownloadLimits{10, 1}), DownloadResult::kFailed);
  EXPECT_LT(test::MillisecondsSince(start), 8000);
  EXPECT_EQ(percents_, std::vector<int>{50});
  EXPECT_FALSE(fs::exists(target_));

  std::atomic<bool> halfway = false;
  DownloadResult result = DownloadResult::kComplete;
  std::thread worker([&] {
    HttpDownload download(cancel_);
    result = download.DownloadInstaller(service_.InstallerUrl(), target_, {}, [&](int) { halfway = true; });
  });
  ASSERT_TRUE(test::WaitFor([&] { return halfway.load(); }));
  const auto cancelled = std::chrono::steady_clock::now();
  cancel_.Cancel();
  worker.join();
  EXPECT_LT(test::MillisecondsSince(cancelled), 2000);
  EXPECT_EQ(result, DownloadResult::kCancelled);
  EXPECT_EQ(fs::file_size(target_), 500u);
}

}  // namespace
}  // namespace zav
