#pragma once
// The upgrade check's request: asks the vendor service for the newest version and reads the
// answer. Blocks its thread for the transfer; run it on a worker.

#include <string>
#include <string_view>

#include "ServiceAnswers.h"

namespace zav {

class CancelToken;

// {"app_name":"ZavAudioRecorder"}, byte for byte.
std::string UpgradeCheckBody();

// "?timestamp=" + milliseconds since 1970 UTC from the local clock.
std::string TimestampQuery();

// POSTs the body to baseUrl + "/v2/upgrade_check" + TimestampQuery() and reads the answer,
// tracing the request, the answer and both versions on standard output.
UpgradeAnswer RunUpgradeCheck(std::string_view baseUrl, const CancelToken* cancel);

}  // namespace zav
