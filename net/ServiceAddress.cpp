#include "ServiceAddress.h"

#include <cstdlib>

namespace zav {

std::string VendorServiceBaseUrl() {
  const char* value = std::getenv(kServiceUrlVariable);
  std::string_view url = value ? std::string_view(value) : std::string_view();
  while (!url.empty() && url.back() == '/') url.remove_suffix(1);
  return std::string(url.empty() ? kDefaultServiceUrl : url);
}

std::string HelpPageUrl(std::string_view baseUrl) { return std::string(baseUrl) + std::string(kHelpPath); }

}  // namespace zav
