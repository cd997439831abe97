#include "ServiceAddress.h"

#include <cctype>
#include <cstdlib>

namespace zav {

std::string VendorServiceBaseUrl() {
  const char* value = std::getenv(kServiceUrlVariable);
  std::string_view url = value ? std::string_view(value) : std::string_view();
  while (!url.empty() && url.back() == '/') url.remove_suffix(1);
  return std::string(url.empty() ? kDefaultServiceUrl : url);
}

bool IsHttpsAddress(std::string_view url) {
  constexpr std::string_view kScheme = "https://";
  if (url.size() < kScheme.size()) return false;
  for (size_t i = 0; i < kScheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) return false;
  }
  return true;
}

std::string HelpPageUrl(std::string_view baseUrl) { return std::string(baseUrl) + std::string(kHelpPath); }

}  // namespace zav
