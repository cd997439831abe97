#include "DownloadDialog.h"

#include <QLabel>
#include <QProgressBar>

namespace zav {

namespace {

constexpr unsigned kMsgDownloadPercent = 1801;  // wParam: the whole percentage received
constexpr unsigned kMsgDownloadDone = 1802;     // wParam: DownloadResult

}  // namespace

DownloadDialog::DownloadDialog(std::string url, int forceUpgrade, std::string sha256, DesktopOpener openUrl,
                               DownloadLimits limits)
    : url_(std::move(url)),
      forceUpgrade_(forceUpgrade),
      sha256_(std::move(sha256)),
      openUrl_(std::move(openUrl)),
      limits_(limits) {}

void DownloadDialog::InitWindow() {
  text_ = FindControl<QLabel>(QStringLiteral("download-text"));
  slider_ = FindControl<QProgressBar>(QStringLiteral("download-slider"));
  worker_.Start("zav-download", [this](const CancelToken& cancel) { Download(cancel); });
}

// Worker thread.
void DownloadDialog::Download(const CancelToken& cancel) {
  DownloadResult result = DownloadResult::kFailed;
  installerPath_ = InstallerTargetPath(url_);
  if (!installerPath_.empty()) {
    HttpDownload download(cancel, limits_);
    result = download.DownloadInstaller(url_, installerPath_, sha256_, [this](int percent) {
      PostMessage(kMsgDownloadPercent, static_cast<uintptr_t>(percent));
    });
  }
  PostMessage(kMsgDownloadDone, static_cast<uintptr_t>(result));
}

void DownloadDialog::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender && msg.sender->objectName() == QLatin1String("cancel")) {
    worker_.Cancel();
  }
  WindowImplBase::Notify(msg);
}

intptr_t DownloadDialog::HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t, bool& handled) {
  handled = true;
  if (message == kMsgDownloadPercent) {
    const int percent = static_cast<int>(wParam);
    if (text_) text_->setText(QString::asprintf("%d%%", percent));
    if (slider_) slider_->setValue(percent);
  } else if (message == kMsgDownloadDone) {
    Finish(static_cast<DownloadResult>(wParam));
  } else {
    handled = false;
  }
  return 0;
}

void DownloadDialog::Finish(DownloadResult result) {
  finished_ = true;
  worker_.Stop();  // it has posted its last message and is ending
  if (result == DownloadResult::kComplete) {
    if (openUrl_(QUrl::fromLocalFile(QString::fromStdString(installerPath_)))) {
      Close(kEndProgram);
      return;
    }
    LogInstallerLaunchFailure(installerPath_);
  } else if (result == DownloadResult::kCancelled && forceUpgrade_ != 0) {
    Close(kEndProgram);  // a mandatory upgrade that the user refuses ends the program
    return;
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
