// The vendor service's answers (upgrade check and feedback), which come from the network:
// reading them never crashes, and an offer always carries what a download needs.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ServiceAnswers.h"
#include "VersionNumber.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const zav::UpgradeAnswer answer = zav::ReadUpgradeAnswer(text);
  if (answer.verdict == zav::UpgradeVerdict::kNewer) {
    if (answer.offer.downloadUrl.empty()) std::abort();
    if (!answer.offer.sha256.empty() && answer.offer.sha256.size() != 64) std::abort();
    if (!zav::IsNewer(answer.remote, *zav::ParseVersion(zav::kAppVersion))) std::abort();
  }
  zav::ReadFeedbackAnswer(text);
  zav::ParseVersion(text);
  return 0;
}
