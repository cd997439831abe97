// Version logic and the service's answers, as plain functions: what is newer, what can be
// read, and which answers lead to an offer or to which feedback prompt.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ServiceAddress.h"
#include "ServiceAnswers.h"
#include "VersionNumber.h"

namespace zav {
namespace {

std::string UpgradeEnvelope(const std::string& version, const std::string& force, const std::string& extra = {}) {
  return R"({"ret":0,"data":{"app_version":)" + version + R"(,"download_url":"http://h/setup.bin","force_upgrade":)" +
         force + extra + "}}";
}

TEST(VersionNumberTest, NumbersNotTextsAreCompared) {
  const Version local = ParseVersion(kAppVersion).value();
  for (const char* newer : {"1.6.1", "1.7.0", "2.0.0", "1..7.0", " +1.7.0-beta"}) {
    const auto remote = ParseVersion(newer);
    ASSERT_TRUE(remote) << newer;
    EXPECT_TRUE(IsNewer(*remote, local)) << newer;
  }
  for (const char* notNewer : {"1.6.0", "1.5.9", "0.9.9", "1.06.0", ".1.6.0."}) {
    const auto remote = ParseVersion(notNewer);
    ASSERT_TRUE(remote) << notNewer;
    EXPECT_FALSE(IsNewer(*remote, local)) << notNewer;
  }
  EXPECT_FALSE(IsNewer(*ParseVersion("1.10.0"), *ParseVersion("1.10.1")));
  const Version read = *ParseVersion("1..7.0");
  EXPECT_EQ(read.major, 1);
  EXPECT_EQ(read.minor, 7);
  EXPECT_EQ(read.revision, 0);
}

TEST(VersionNumberTest, VersionsThatCannotBeReadAreRefused) {
  for (const char* bad : {"", "1.7", "1..7", "1.x.0", "v1.7.0", "1.7.99999999999", "...", "1. .0"}) {
    EXPECT_FALSE(ParseVersion(bad)) << bad;
  }
  EXPECT_EQ(ReadLeadingInt(" -12abc"), -12);
  EXPECT_EQ(ReadLeadingInt("2147483647"), 2147483647);
  EXPECT_FALSE(ReadLeadingInt("2147483648"));
  EXPECT_FALSE(ReadLeadingInt("+"));
}

TEST(ServiceAnswersTest, ForceFlagAsNumberOrTextDecidesAMandatoryOffer) {
  struct Case {
    const char* force;
    int expected;
  };
  for (const Case& c : {Case{"1", 1}, Case{R"("1")", 1}, Case{"0", 0}, Case{R"("0")", 0}, Case{"1.0", 1}}) {
    const UpgradeAnswer answer = ReadUpgradeAnswer(UpgradeEnvelope(R"("1.7.0")", c.force));
    ASSERT_EQ(answer.verdict, UpgradeVerdict::kNewer) << c.force;
    EXPECT_EQ(answer.offer.forceUpgrade, c.expected) << c.force;
    EXPECT_EQ(answer.offer.downloadUrl, "http://h/setup.bin");
    EXPECT_TRUE(answer.offer.sha256.empty());
  }
  EXPECT_EQ(ReadUpgradeAnswer(UpgradeEnvelope(R"("1.6.0")", "1")).verdict, UpgradeVerdict::kUpToDate);
  // A number as the version is read as its text; 2 is not three pieces.
  EXPECT_EQ(ReadUpgradeAnswer(UpgradeEnvelope("2", "1")).verdict, UpgradeVerdict::kUnusable);
}

TEST(ServiceAnswersTest, AnswersThatCannotBeReadGiveNoOffer) {
  const std::string sum(64, 'A');
  for (const std::string& answer : std::vector<std::string>{
           "", "not json", "[1,2]", "5", R"({"ret":1,"data":{"app_version":"9.0.0"}})",
           R"({"data":{"app_version":"9.0.0","download_url":"u","force_upgrade":0}})",
           R"({"ret":"0","data":{"app_version":"9.0.0","download_url":"u","force_upgrade":0}})",
           R"({"ret":0,"data":[]})", R"({"ret":0,"data":{"app_version":"9.0"}})",
           UpgradeEnvelope(R"("1.7.0")", R"("yes")"), UpgradeEnvelope(R"("1.7.0")", "true"),
           UpgradeEnvelope(R"("1.7.0")", "{}"), UpgradeEnvelope("[]", "1"),
           UpgradeEnvelope(R"("1.7.0")", "1", R"(,"sha256":"abc")"),
           R"({"ret":0,"data":{"app_version":"1.7.0","download_url":"","force_upgrade":0}})",
           R"({"ret":0,"data":{"app_version":"1.7.0","download_url":"http://h/a\u0000.exe","force_upgrade":0}})"}) {
    EXPECT_EQ(ReadUpgradeAnswer(answer).verdict, UpgradeVerdict::kUnusable) << answer;
  }
  const UpgradeAnswer withSum = ReadUpgradeAnswer(UpgradeEnvelope(R"("1.7.0")", "0", R"(,"sha256":")" + sum + "\""));
  ASSERT_EQ(withSum.verdict, UpgradeVerdict::kNewer);
  EXPECT_EQ(withSum.offer.sha256, std::string(64, 'a'));
}

TEST(ServiceAnswersTest, FeedbackOutcomeComesFromTheEnvelope) {
  EXPECT_EQ(ReadFeedbackAnswer(R"({"ret":0})"), FeedbackOutcome::kSubmitted);
  EXPECT_EQ(ReadFeedbackAnswer(R"({"ret":0,"data":null})"), FeedbackOutcome::kSubmitted);
  EXPECT_EQ(ReadFeedbackAnswer(R"({"ret":3,"data":{}})"), FeedbackOutcome::kUnknownError);
  EXPECT_EQ(ReadFeedbackAnswer(R"({"msg":"ok"})"), FeedbackOutcome::kUnknownError);
  // A document that parses but is no object is the service's answer, not a failed transfer.
  EXPECT_EQ(ReadFeedbackAnswer("[0]"), FeedbackOutcome::kUnknownError);
  EXPECT_EQ(ReadFeedbackAnswer("0"), FeedbackOutcome::kUnknownError);
  EXPECT_EQ(ReadFeedbackAnswer(""), FeedbackOutcome::kNetworkError);
  EXPECT_EQ(ReadFeedbackAnswer(R"({"ret":0)"), FeedbackOutcome::kNetworkError);
  EXPECT_EQ(ReadFeedbackAnswer("<html>502</html>"), FeedbackOutcome::kNetworkError);
}

TEST(ServiceAddressTest, EnvironmentOverridesTheBaseAddress) {
  ::unsetenv(kServiceUrlVariable);
  EXPECT_EQ(VendorServiceBaseUrl(), kDefaultServiceUrl);
  ::setenv(kServiceUrlVariable, "http://127.0.0.1:8080/", 1);
  EXPECT_EQ(VendorServiceBaseUrl(), "http://127.0.0.1:8080");
  EXPECT_EQ(HelpPageUrl(VendorServiceBaseUrl()), "http://127.0.0.1:8080/help");
  ::unsetenv(kServiceUrlVariable);
}

}  // namespace
}  // namespace zav
