#include "CloseRule.h"

#include "tray/TrayMessages.h"

namespace zav {

CloseAction DecideClose(uintptr_t closeParam, int windowClose, bool trayShown) {
  if (closeParam == kMenuQuit) return CloseAction::kQuit;
  return windowClose != 0 && trayShown ? CloseAction::kMinimize : CloseAction::kQuit;
}

}  // namespace zav
