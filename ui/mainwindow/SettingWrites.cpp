#include "SettingWrites.h"

#include <glog/logging.h>

#include "ConfigStore.h"
#include "StoredChoices.h"
#include "dui/PromptBoxDialog.h"
#include "dui/WindowImplBase.h"
#include "dui/WorkQueue.h"

namespace zav {

void StoreSetting(WindowImplBase* window, WorkQueue* disk, std::string_view key, std::string value) {
  disk->Run(
      window,
      [key, value = std::move(value)] {
        const bool stored = ConfigStore::Instance().WriteString(kGlobalSection, key, value);
        if (!stored) LOG(ERROR) << "settings: cannot store " << key << " in " << ConfigStore::Instance().path();
        return stored;
      },
      [window](bool stored) {
        if (!stored) TellSettingsNotStored(window);
      });
}

void TellSettingsNotStored(WindowImplBase* window) {
  static bool showing = false;
  if (showing) return;
  showing = true;
  PromptBoxDialog::Show(window, kSettingsNotStoredText, 250, 100);
  showing = false;
}

}  // namespace zav
