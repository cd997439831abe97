// The JSON client against local servers: the request bytes, success judged by the body,
// failures and their log lines, verified certificates, and a cancel that ends at once.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "CancelToken.h"
#include "FeedbackRequest.h"
#include "HttpClient.h"
#include "HttpDownload.h"
#include "LogCapture.h"
#include "NetTestData.h"
#include "RawHttpServer.h"
#include "UpgradeCheck.h"
#include "VendorService.h"

namespace zav {
namespace {

using test::HttpReply;
using test::LogCapture;
using test::RawHttpServer;

constexpr char kClientLog[] = "HttpClient.cpp";
// The transfer time-out of the client; failures must come well before it.
constexpr long long kClientTimeoutMs = 10'000;

struct SplitRequest {
  std::vector<std::string> head;  // request line, then the header lines
  std::string body;
};

SplitRequest Split(const std::string& request) {
  SplitRequest split;
  const size_t end = request.find("\r\n\r\n");
  size_t start = 0;
  while (start < end) {
    const size_t lineEnd = request.find("\r\n", start);
    split.head.push_back(request.substr(start, lineEnd - start));
    start = lineEnd + 2;
  }
  split.body = request.substr(end + 4);
  return split;
}

long long NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

TEST(HttpClientTest, UpgradeCheckSendsExactlyItsBodyAndTheTwoHeaders) {
  RawHttpServer server(HttpReply("HTTP/1.1 200 OK", R"({"ret":0,"data":{"app_version":"1.6.0"}})"));
  const long long before = NowMs();
  EXPECT_EQ(RunUpgradeCheck(server.BaseUrl(), nullptr).verdict, UpgradeVerdict::kUpToDate);
  const long long after = NowMs();

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const SplitRequest request = Split(requests[0]);
  const std::string prefix = "POST /v2/upgrade_check?timestamp=", suffix = " HTTP/1.1";
  const std::string& line = request.head[0];
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  ASSERT_GT(line.size(), prefix.size() + suffix.size()) << line;
  ASSERT_EQ(line.substr(line.size() - suffix.size()), suffix) << line;
  const std::string digits = line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
  ASSERT_TRUE(digits[0] != '0' && digits.find_first_not_of("0123456789") == std::string::npos) << line;
  const long long timestamp = std::stoll(digits);
  EXPECT_GE(timestamp, before);
  EXPECT_LE(timestamp, after);
  const std::string host = "Host: " + server.BaseUrl().substr(std::string("http://").size());
  EXPECT_EQ(std::vector<std::string>(request.head.begin() + 1, request.head.end()),
            (std::vector<std::string>{host, "Accept: application/json", "Content-Type:application/json;charset=UTF-8",
                                      "Content-Length: 31"}));
  EXPECT_EQ(request.body, R"({"app_name":"ZavAudioRecorder"})");
}

TEST(HttpClientTest, FeedbackTextsTravelAsStyledAsciiJsonWithEscapes) {
  RawHttpServer server(HttpReply("HTTP/1.1 200 OK", R"({"ret":0})"));
  // "你好" and U+1F3B5, beyond the basic plane, in UTF-8.
  EXPECT_EQ(SendFeedback(server.BaseUrl(), "\xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x8E\xB5", "qq 12345", nullptr),
            FeedbackOutcome::kSubmitted);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const SplitRequest request = Split(requests[0]);
  EXPECT_EQ(request.head[0], "POST /v2/feedback HTTP/1.1");
  EXPECT_EQ(request.head[2], "Accept: application/json");
  EXPECT_EQ(request.head[3], "Content-Type:application/json;charset=UTF-8");
  EXPECT_EQ(request.body,
            "{\n   \"contact\" : \"qq 12345\",\n   \"content\" : \"\\u4f60\\u597d \\ud83c\\udfb5\"\n}\n");
}

TEST(HttpClientTest, TheBodyNotTheStatusDecidesSuccess) {
  {
    RawHttpServer server(HttpReply("HTTP/1.1 500 Internal Server Error", R"({"ret":1})"));
    std::string response;
    EXPECT_EQ(HttpClientInstance()->PostJson(server.BaseUrl() + "/v2/feedback", "{}", response), 0);
    EXPECT_EQ(response, R"({"ret":1})");
  }
  RawHttpServer server(HttpReply("HTTP/1.1 200 OK", ""));
  LogCapture log;
  std::string response;
  EXPECT_EQ(HttpClientInstance()->PostJson(server.BaseUrl() + "/v2/feedback", "{}", response), -1);
  // A request that went through writes no error line of its own.
  EXPECT_EQ(log.From(kClientLog), (std::vector<std::string>{"response code:200", "response result:"}));
}

TEST(HttpClientTest, UnreachableServiceFailsAtOnceWithoutAStatusLine) {
  test::RefusingPort port;
  LogCapture log;
  std::string response;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpClientInstance()->PostJson(port.BaseUrl() + "/v2/upgrade_check", "{}", response), -1);
  EXPECT_LT(test::MillisecondsSince(start), kClientTimeoutMs);
  const auto lines = log.From(kClientLog);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("curl code:7,", 0), 0u) << lines[0];  // could not connect
}

TEST(HttpClientTest, CancelEndsAnUnansweredRequestAtOnce) {
  RawHttpServer silent("");
  CancelToken cancel;
  int result = 0;
  std::thread worker([&] {
    std::string response;
    result = HttpClientInstance()->PostJson(silent.BaseUrl() + "/v2/upgrade_check", "{}", response, &cancel);
  });
  ASSERT_TRUE(test::WaitFor([&] { return silent.Requests().size() == 1; }));
  const auto start = std::chrono::steady_clock::now();
  cancel.Cancel();
  worker.join();
  EXPECT_LT(test::MillisecondsSince(start), 2000);
  EXPECT_EQ(result, -1);
}

// The service and the installer are reached over TLS, and a certificate that nobody vouches
// for stops both before any request is sent.
TEST(HttpClientTest, CertificatesAreVerifiedForRequestsAndDownloads) {
  tools::VendorService service;
  ASSERT_TRUE(service.Start(0, test::TestDataFile("self-signed.crt"), test::TestDataFile("self-signed.key")));
  LogCapture log;
  std::string response;
  EXPECT_EQ(HttpClientInstance()->PostJson(service.BaseUrl() + "/v2/upgrade_check", UpgradeCheckBody(), response), -1);
  ASSERT_FALSE(log.From(kClientLog).empty());
  EXPECT_EQ(log.From(kClientLog)[0].rfind("curl code:60,", 0), 0u) << log.From(kClientLog)[0];

  const std::filesystem::path target = std::filesystem::temp_directory_path() / "zav-net-tls-installer";
  CancelToken cancel;
  HttpDownload download(cancel);
  EXPECT_EQ(download.DownloadInstaller(service.InstallerUrl(), target.string(), "", [](int) {}), DownloadResult::kFailed);
  EXPECT_TRUE(service.Requests().empty());
  std::filesystem::remove(target);
}

}  // namespace
}  // namespace zav
