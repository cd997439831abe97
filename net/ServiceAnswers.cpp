#include "ServiceAnswers.h"

#include <json/json.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace zav {

namespace {

constexpr size_t kSha256HexDigits = 64;

// The answer as a JSON object, or nullopt when it does not parse or is something else.
// The parsed document, or nullopt when the text does not parse.
std::optional<Json::Value> ParseDocument(std::string_view text) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) return std::nullopt;
  return root;
}

// The envelope: a document that is an object; nullopt otherwise.
std::optional<Json::Value> ParseEnvelope(std::string_view text) {
  std::optional<Json::Value> root = ParseDocument(text);
  if (!root || !root->isObject()) return std::nullopt;
  return root;
}

bool Succeeded(const Json::Value& envelope) {
  const Json::Value& ret = envelope["ret"];
  return ret.isInt64() && ret.asInt64() == 0;
}

// A member read as text: strings as they are, numbers as their decimal text.
std::optional<std::string> MemberText(const Json::Value& object, const char* key) {
  const Json::Value& value = object[key];
  if (value.isString() || value.isNumeric()) return value.asString();
  return std::nullopt;
}

bool IsSha256Hex(std::string_view text) {
  return text.size() == kSha256HexDigits &&
         std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

UpgradeAnswer ReadUpgradeEnvelope(const Json::Value& envelope, std::string_view localVersion) {
  UpgradeAnswer answer;
  if (!Succeeded(envelope)) return answer;
  const Json::Value& data = envelope["data"];
  if (!data.isObject()) return answer;
  const auto remoteText = MemberText(data, "app_version");
  const auto remote = remoteText ? ParseVersion(*remoteText) : std::nullopt;
  const auto local = ParseVersion(localVersion);
  if (!remote || !local) return answer;
  answer.remote = *remote;
  if (!IsNewer(*remote, *local)) {
    answer.verdict = UpgradeVerdict::kUpToDate;
    return answer;
  }

  const auto url = MemberText(data, "download_url");
  const auto forceText = MemberText(data, "force_upgrade");
  const auto force = forceText ? ReadLeadingInt(*forceText) : std::nullopt;
  const bool urlUsable = url && !url->empty() &&
                         std::none_of(url->begin(), url->end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
  if (!urlUsable || !force) return answer;
  std::string sha256;
  if (data.isMember("sha256")) {
    const Json::Value& sum = data["sha256"];
    if (!sum.isString()) return answer;
    sha256 = sum.asString();
    std::transform(sha256.begin(), sha256.end(), sha256.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c); });
    if (!IsSha256Hex(sha256)) return answer;
  }
  answer.verdict = UpgradeVerdict::kNewer;
  answer.offer = UpgradeOffer{*url, *force, std::move(sha256)};
  return answer;
}

}  // namespace

UpgradeAnswer ReadUpgradeAnswer(std::string_view response, std::string_view localVersion) {
  try {
    const auto envelope = ParseEnvelope(response);
    if (envelope) return ReadUpgradeEnvelope(*envelope, localVersion);
  } catch (const Json::Exception&) {
    // A value of an unexpected kind; treated like any unusable answer.
  }
  return {};
}

FeedbackOutcome ReadFeedbackAnswer(std::string_view response) {
  try {
    // Text that does not parse is what every failed transfer leaves; a document that parses but
    // is no object with "ret" 0 is the service's refusal.
    const auto document = ParseDocument(response);
    if (!document) return FeedbackOutcome::kNetworkError;
    return document->isObject() && Succeeded(*document) ? FeedbackOutcome::kSubmitted : FeedbackOutcome::kUnknownError;
  } catch (const Json::Exception&) {
    return FeedbackOutcome::kUnknownError;
  }
}

bool InstallerIsVerified(const UpgradeOffer& offer, bool installerOverHttps) {
  return offer.answerOverHttps && !offer.sha256.empty() && installerOverHttps;
}

}  // namespace zav
