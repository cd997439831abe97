#include "UpgradeOffer.h"

#include "DownloadDialog.h"
#include "dui/DialogPattern.h"
#include "dui/MessageBoxDialog.h"
#include "dui/PromptBoxDialog.h"

namespace zav {

int OfferUpgrade(WindowImplBase* owner, const UpgradeOffer& offer, const DesktopOpener& openUrl,
                 const FileShower& showFile) {
  if (offer.forceUpgrade != 0) {
    PromptBoxDialog::Show(owner, kNewVersionText, 200, 100);
  } else if (MessageBoxDialog::Ask(owner, kNewVersionText) == 0) {
    return 0;
  }
  auto* dialog = new DownloadDialog(offer, openUrl, showFile);
  return ShowDialog(dialog, owner, DownloadDialog::kCaption);
}

}  // namespace zav
