// Ini text from outside (a hand-edited or damaged configure.ini): reading never crashes,
// a value that may be stored reads back exactly after it is set, and setting it keeps every
// other line as it was.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ConfigStore.h"
#include "TextUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // The first three bytes give the lengths of a section, a key and a value taken from the
  // start of the rest; what follows is the file's text.
  const size_t sectionLength = data[0] % 16, keyLength = data[1] % 16, valueLength = data[2] % 32;
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  auto take = [&rest](size_t n) {
    std::string_view part = rest.substr(0, std::min(n, rest.size()));
    rest.remove_prefix(part.size());
    return std::string(part);
  };
  const std::string section = take(sectionLength), key = take(keyLength), value = take(valueLength);
  const std::string text(rest);

  std::string found;
  zav::ini::Lookup(text, section, key, &found);
  zav::ini::ParseLeadingInt(found);
  zav::ini::ParseLeadingInt(value);

  if (zav::ini::CanStore(section, key, value) && zav::IsValidUtf8(section) && zav::IsValidUtf8(key) &&
      zav::IsValidUtf8(value)) {
    const std::string written = zav::ini::SetValue(text, section, key, value);
    std::string readBack;
    if (!zav::ini::Lookup(written, section, key, &readBack) || readBack != value) std::abort();
    if (zav::ini::SetValue(written, section, key, value) != written) std::abort();
    // Every other line is kept byte for byte: what differs from the old text lies within
    // one line of it.
    size_t prefix = 0;
    while (prefix < text.size() && prefix < written.size() && text[prefix] == written[prefix]) ++prefix;
    size_t suffix = 0;
    while (suffix < text.size() - prefix && suffix < written.size() - prefix &&
           text[text.size() - 1 - suffix] == written[written.size() - 1 - suffix])
      ++suffix;
    if (text.substr(prefix, text.size() - prefix - suffix).find('\n') != std::string::npos) std::abort();
  }
  return 0;
}
