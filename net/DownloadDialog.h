#pragma once
// DownloadDialog: skin "download.xml". Downloads the offered installer on a worker thread,
// shows the progress as "%d%%" in "download-text" and in "download-slider", and starts the
// installer through the desktop when every byte has arrived. "cancel" (or closing the window
// any other way) stops the download; the worker then closes the dialog.
//
// Modal results: kClosed, the program runs on; kEndProgram, the caller ends the program
// (the installer was started, or the user cancelled a mandatory upgrade).
// UI thread; the worker reaches the window only through posted messages. Deletes itself.

#include <string>

#include "DesktopOpener.h"
#include "HttpDownload.h"
#include "NetWorker.h"
#include "dui/WindowImplBase.h"

class QLabel;
class QProgressBar;

namespace zav {

class DownloadDialog : public WindowImplBase {
  Q_OBJECT

 public:
  static constexpr int kClosed = 1;
  static constexpr int kEndProgram = 2;
  static inline const QString kCaption = QStringLiteral("升级下载");

  // forceUpgrade non-zero: the upgrade is mandatory. sha256 empty: no checksum to compare.
  DownloadDialog(std::string url, int forceUpgrade, std::string sha256, DesktopOpener openUrl,
                 DownloadLimits limits = {});

 protected:
  QString GetWindowClassName() const override { return kCaption; }
  QString GetSkinFile() override { return QStringLiteral("download.xml"); }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) override;
  void OnClose(uintptr_t closeParam, bool& handled) override;
  void OnFinalMessage() override { delete this; }

 private:
  void Download(const CancelToken& cancel);
  void Finish(DownloadResult result);

  const std::string url_;
  const int forceUpgrade_;
  const std::string sha256_;
  const DesktopOpener openUrl_;
  const DownloadLimits limits_;
  QLabel* text_ = nullptr;
  QProgressBar* slider_ = nullptr;
  bool finished_ = false;   // the worker has reported its end
  // Written by the worker before it posts its end, read by the UI thread after.
  std::string installerPath_;
  NetWorker worker_;  // last: cancelled and joined before anything above goes away
};

}  // namespace zav
