// user-dirs.dirs from the user's home: any text gives an absolute folder or nothing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "UserFolders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* name : {"XDG_DOCUMENTS_DIR", "XDG_DESKTOP_DIR"}) {
    const std::string folder = zav::ParseXdgUserDir(text, name, "/home/user");
    if (!folder.empty() && folder[0] != '/') std::abort();
  }
  return 0;
}
