// Ini text from outside (a hand-edited or damaged configure.ini): reading never crashes,
// and a value that may be stored reads back exactly after it is set.

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
  zav::ini::DropUnreadableLines(text);

  if (zav::ini::CanStore(section, key, value) && zav::IsValidUtf8(section) && zav::IsValidUtf8(key) &&
      zav::IsValidUtf8(value)) {
    const std::string written = zav::ini::SetValue(text, section, key, value);
    std::string readBack;
    if (!zav::ini::Lookup(written, section, key, &readBack) || readBack != value) std::abort();
    if (zav::ini::SetValue(written, section, key, value) != written) std::abort();
  }
  return 0;
}
