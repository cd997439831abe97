#include "OnlineServices.h"

#include "DownloadDialog.h"
#include "FeedbackDialog.h"
#include "ServiceAddress.h"
#include "UpgradeCheck.h"
#include "UpgradeOffer.h"
#include "dui/DialogPattern.h"
#include "dui/PromptBoxDialog.h"

namespace zav {

OnlineServices::OnlineServices(WindowImplBase* mainWindow, std::string baseUrl, Hooks hooks)
    : mainWindow_(mainWindow), baseUrl_(std::move(baseUrl)), hooks_(std::move(hooks)),
      receiver_(std::make_unique<QObject>()) {}

OnlineServices::~OnlineServices() {
  quiet_.worker.Stop();
  interactive_.worker.Stop();
}

void OnlineServices::CheckForUpgrade(UpgradeCheckMode mode) {
  Check& check = CheckFor(mode);
  if (check.waiting) return;
  check.waiting = true;
  const char* threadName = mode == UpgradeCheckMode::kQuiet ? "zav-upgrade-quiet" : "zav-upgrade";
  check.worker.Start(threadName, [this, mode](const CancelToken& cancel) {
    UpgradeAnswer answer = RunUpgradeCheck(baseUrl_, &cancel);
    if (cancel.IsCancelled()) return;
    QMetaObject::invokeMethod(
        receiver_.get(), [this, mode, answer = std::move(answer)] { OnUpgradeAnswer(mode, answer); },
        Qt::QueuedConnection);
  });
}

void OnlineServices::OnUpgradeAnswer(UpgradeCheckMode mode, const UpgradeAnswer& answer) {
  CheckFor(mode).waiting = false;
  if (answer.verdict == UpgradeVerdict::kUpToDate && mode == UpgradeCheckMode::kInteractive) {
    PromptBoxDialog::Show(mainWindow_, kNoNewVersionText, 200, 100);
  } else if (answer.verdict == UpgradeVerdict::kNewer) {
    const int result = OfferUpgrade(mainWindow_, answer.offer, hooks_.openUrl, hooks_.showFile);
    if (result == DownloadDialog::kEndProgram && hooks_.endProgram) hooks_.endProgram();
  }
}

void OnlineServices::ShowFeedback() {
  ShowDialog(new FeedbackDialog(baseUrl_, hooks_.openUrl), mainWindow_, FeedbackDialog::kCaption);
}

void OnlineServices::OpenHelpPage() { hooks_.openUrl(QUrl(QString::fromStdString(HelpPageUrl(baseUrl_)))); }

}  // namespace zav
