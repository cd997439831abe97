#include "UpgradeCheck.h"

#include <chrono>
#include <ctime>
#include <iostream>

#include "HttpClient.h"
#include "ServiceAddress.h"

namespace zav {

std::string UpgradeCheckBody() {
  return std::string("{\"app_name\":\"") + std::string(kAppName) + "\"}";
}

std::string TimestampQuery() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  local.tm_isdst = -1;  // let the conversion work out daylight-saving time
  const long long milliseconds = duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return "?timestamp=" + std::to_string(static_cast<long long>(std::mktime(&local)) * 1000 + milliseconds);
}

UpgradeAnswer RunUpgradeCheck(std::string_view baseUrl, const CancelToken* cancel) {
  HttpClient* client = HttpClientInstance();
  const std::string body = UpgradeCheckBody();
  std::cout << "message: " << body << std::endl;
  const std::string url = std::string(baseUrl) + std::string(kUpgradeCheckPath) + TimestampQuery();
  std::string response;
  if (client->PostJson(url, body, response, cancel) == -1) return {UpgradeVerdict::kRequestFailed, {}, {}};
  std::cout << "response: " << response << std::endl;

  UpgradeAnswer answer = ReadUpgradeAnswer(response);
  // The client verifies certificates and follows no redirect, so the address says it all.
  answer.offer.answerOverHttps = IsHttpsAddress(url);
  if (answer.verdict == UpgradeVerdict::kUpToDate || answer.verdict == UpgradeVerdict::kNewer) {
    const auto local = ParseVersion(kAppVersion).value_or(Version{});
    std::cout << "routeMajorVersion: " << answer.remote.major << " routeMinorVersion: " << answer.remote.minor
              << " routeRevisionVersion: " << answer.remote.revision << '\n'
              << "localMajorVersion: " << local.major << " localMinorVersion: " << local.minor
              << " localRevisionVersion: " << local.revision << std::endl;
  }
  return answer;
}

}  // namespace zav
