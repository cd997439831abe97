#pragma once
// Where the vendor service lives: one base address (scheme, host and port, no trailing
// slash) that the environment variable ZAV_SERVICE_URL overrides, and the service's paths.

#include <string>
#include <string_view>

namespace zav {

inline constexpr std::string_view kDefaultServiceUrl = "http://service.zavaudio.cn";
inline constexpr char kServiceUrlVariable[] = "ZAV_SERVICE_URL";

inline constexpr std::string_view kUpgradeCheckPath = "/v2/upgrade_check";
inline constexpr std::string_view kFeedbackPath = "/v2/feedback";
inline constexpr std::string_view kHelpPath = "/help";

// ZAV_SERVICE_URL when set and not empty (trailing slashes dropped), else the default.
// Reads the environment at every call; call it before starting threads that change it.
std::string VendorServiceBaseUrl();

// True for an https address (the scheme in any case).
bool IsHttpsAddress(std::string_view url);

// The vendor's help page, opened in the user's browser.
std::string HelpPageUrl(std::string_view baseUrl);

}  // namespace zav
