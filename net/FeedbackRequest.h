#pragma once
// The feedback request: the user's comment and contact sent to the vendor service.
// Blocks its thread for the transfer; run it on a worker.

#include <string>
#include <string_view>

#include "ServiceAnswers.h"

namespace zav {

class CancelToken;

// {"contact", "content"} written by jsoncpp's StyledWriter: indented, members in
// alphabetical order, every non-ASCII character as a \u escape, so the body is plain ASCII.
// Both texts are UTF-8.
std::string FeedbackBody(std::string_view contentUtf8, std::string_view contactUtf8);

// POSTs the body to baseUrl + "/v2/feedback"; the outcome is judged from the answer alone.
FeedbackOutcome SendFeedback(std::string_view baseUrl, std::string_view contentUtf8, std::string_view contactUtf8,
                             const CancelToken* cancel);

}  // namespace zav
