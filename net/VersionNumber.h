#pragma once
// Version numbers of the program and of the vendor service's answers, compared as numbers.

#include <optional>
#include <string_view>

namespace zav {

inline constexpr std::string_view kAppVersion = "1.6.0";
inline constexpr std::string_view kAppName = "ZavAudioRecorder";

struct Version {
  int major = 0;
  int minor = 0;
  int revision = 0;
};

// A decimal integer at the start of text: leading white space and a sign allowed, digits
// required, anything after the digits ignored. nullopt without digits or beyond int's range.
std::optional<int> ReadLeadingInt(std::string_view text);

// "1.7.2": cut at every "." with empty pieces dropped ("1..7.0" is 1.7.0), the first three
// pieces read by ReadLeadingInt. nullopt with fewer than three pieces or an unreadable one.
std::optional<Version> ParseVersion(std::string_view text);

// Major, then minor, then revision; equal versions are not newer.
bool IsNewer(const Version& remote, const Version& local);

}  // namespace zav
