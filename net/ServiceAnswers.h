#pragma once
// The vendor service's answers: an envelope {"ret": 0 on success, "data": {...}} read into
// plain results. Any text is safe to pass in.

#include <string>
#include <string_view>

#include "VersionNumber.h"

namespace zav {

struct UpgradeOffer {
  std::string downloadUrl;
  int forceUpgrade = 0;  // non-zero: the upgrade is mandatory
  std::string sha256;    // lower-case hex of the installer, empty when the service gives none
  // The answer came over https (from a server whose certificate was verified): only then does
  // its sha256 vouch for the installer.
  bool answerOverHttps = false;
};

// Over plain http anyone on the way can change the installer and its checksum alike, so an
// installer is taken as authentic only when the answer that gave its sha256 came over https,
// it had one, and the installer itself (checked against it) came over https.
bool InstallerIsVerified(const UpgradeOffer& offer, bool installerOverHttps);

enum class UpgradeVerdict {
  kRequestFailed,  // no answer reached us
  kUnusable,       // not an envelope, "ret" not 0, or a version or flag that cannot be read
  kUpToDate,       // the service's version is not newer than ours
  kNewer,          // offer holds what to download
};

struct UpgradeAnswer {
  UpgradeVerdict verdict = UpgradeVerdict::kUnusable;
  UpgradeOffer offer;
  Version remote;  // valid for kUpToDate and kNewer
};

// Reads the answer to the upgrade check against our version localVersion.
// "data" holds "app_version" (text, or a number read as its text), "download_url" (text
// without control characters) and "force_upgrade" (a number or the text of one); "sha256"
// (64 hex digits) is optional.
UpgradeAnswer ReadUpgradeAnswer(std::string_view response, std::string_view localVersion = kAppVersion);

enum class FeedbackOutcome {
  kNetworkError,  // the answer is not a JSON object (every failed transfer ends here)
  kUnknownError,  // an object whose "ret" is not 0
  kSubmitted,     // "ret" is 0
};

FeedbackOutcome ReadFeedbackAnswer(std::string_view response);

}  // namespace zav
