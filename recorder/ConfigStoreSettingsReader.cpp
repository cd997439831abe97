#include "ConfigStore.h"
#include "RecorderTypes.h"

namespace zav {

int ConfigStoreSettingsReader::ReadInt(std::string_view section, std::string_view key, int defaultValue) const {
  return ConfigStore::Instance().ReadInt(section, key, defaultValue);
}

}  // namespace zav
