#include "FolderWriteCheck.h"

#include "ConfigStore.h"
#include "mainwindow/StoredChoices.h"

namespace zav {

FolderChoice StoreOutputFolderIfWritable(const std::string& folder, const char* testName) {
  if (!CanCreateFilesIn(folder, testName)) return FolderChoice::kNotWritable;
  return ConfigStore::Instance().WriteString(kGlobalSection, keys::kOutputFolder, folder) ? FolderChoice::kStored
                                                                                  : FolderChoice::kNotStored;
}

}  // namespace zav
