#include "DownloadDialog.h"

#include <QLabel>
#include <QProgressBar>

#include "dui/PromptBoxDialog.h"

namespace zav {

namespace {

constexpr unsigned kMsgDownloadPercent = 1801;  // wParam: the whole percentage received
constexpr unsigned kMsgDownloadDone = 1802;     // wParam: DownloadResult; lParam: 1 when verified

QString FailureText(DownloadResult result) {
  switch (result) {
    case DownloadResult::kTooLarge: return kInstallerTooLargeText;
    case DownloadResult::kNoSpace: return kInstallerNoSpaceText;
    case DownloadResult::kBadChecksum: return kInstallerBadChecksumText;
    case DownloadResult::kComplete:
    case DownloadResult::kCancelled:
    case DownloadResult::kFailed: break;
  }
  return kInstallerDownloadFailedText;
}

}  // namespace

DownloadDialog::DownloadDialog(UpgradeOffer offer, DesktopOpener openUrl, FileShower showFile, DownloadLimits limits)
    : offer_(std::move(offer)),
      openUrl_(std::move(openUrl)),
      showFile_(std::move(showFile)),
      limits_(std::move(limits)) {}

void DownloadDialog::InitWindow() {
  text_ = FindControl<QLabel>(QStringLiteral("download-text"));
  slider_ = FindControl<QProgressBar>(QStringLiteral("download-slider"));
  worker_.Start("zav-download", [this](const CancelToken& cancel) { Download(cancel); });
}

// Worker thread.
void DownloadDialog::Download(const CancelToken& cancel) {
  DownloadResult result = DownloadResult::kFailed;
  bool verified = false;
  installerPath_ = InstallerTargetPath(offer_.downloadUrl);
  if (!installerPath_.empty()) {
    HttpDownload download(cancel, limits_);
    result = download.DownloadInstaller(offer_.downloadUrl, installerPath_, offer_.sha256, [this](int percent) {
      PostMessage(kMsgDownloadPercent, static_cast<uintptr_t>(percent));
    });
    verified = result == DownloadResult::kComplete && InstallerIsVerified(offer_, download.CameOverHttps());
  }
  PostMessage(kMsgDownloadDone, static_cast<uintptr_t>(result), verified ? 1 : 0);
}

void DownloadDialog::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender && msg.sender->objectName() == QLatin1String("cancel")) {
    worker_.Cancel();
  }
  WindowImplBase::Notify(msg);
}

intptr_t DownloadDialog::HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) {
  handled = true;
  if (message == kMsgDownloadPercent) {
    const int percent = static_cast<int>(wParam);
    if (text_) text_->setText(QString::asprintf("%d%%", percent));
    if (slider_) slider_->setValue(percent);
  } else if (message == kMsgDownloadDone) {
    Finish(static_cast<DownloadResult>(wParam), lParam != 0);
  } else {
    handled = false;
  }
  return 0;
}

void DownloadDialog::Finish(DownloadResult result, bool verified) {
  finished_ = true;
  worker_.Stop();  // it has posted its last message and is ending
  const QString path = QString::fromStdString(installerPath_);
  switch (result) {
    case DownloadResult::kComplete:
      if (!verified) {
        // Anyone on the way could have changed it: the user decides, and the program runs on.
        showFile_(path);
        PromptBoxDialog::Show(this, kInstallerUnverifiedText, 250, 100);
        break;
      }
      if (openUrl_(QUrl::fromLocalFile(path))) {
        Close(kEndProgram);
        return;
      }
      LogInstallerLaunchFailure(installerPath_);
      break;
    case DownloadResult::kCancelled:
      if (offer_.forceUpgrade != 0) {
        Close(kEndProgram);  // a mandatory upgrade that the user refuses ends the program
        return;
      }
      break;
    case DownloadResult::kFailed:
    case DownloadResult::kTooLarge:
    case DownloadResult::kNoSpace:
    case DownloadResult::kBadChecksum:
      PromptBoxDialog::Show(this, FailureText(result), 250, 100);
      break;
  }
  Close(kClosed);
}

void DownloadDialog::OnClose(uintptr_t, bool& handled) {
  if (finished_) return;
  // Closed from outside while the download runs: that is a cancel, and the worker's end
  // closes the window.
  worker_.Cancel();
  handled = true;
}

}  // namespace zav
