#pragma once
// DownloadDialog: skin "download.xml". Downloads the offered installer on a worker thread into
// the Temp folder, shows the progress as "%d%%" in "download-text" and in "download-slider",
// and when every byte has arrived starts the installer through the desktop, but only when it
// is verified (InstallerIsVerified); an installer that is not is shown in its folder with a
// prompt, for the user to check. A failed download is told in a prompt. "cancel" (or closing
// the window any other way) stops the download; the worker then closes the dialog.
//
// Modal results: kClosed, the program runs on; kEndProgram, the caller ends the program
// (the installer was started, or the user cancelled a mandatory upgrade).
// UI thread; the worker reaches the window only through posted messages. Deletes itself.

#include <string>

#include "DesktopOpener.h"
#include "HttpDownload.h"
#include "NetWorker.h"
#include "ServiceAnswers.h"
#include "dui/WindowImplBase.h"

class QLabel;
class QProgressBar;

namespace zav {

// What the user is told when the installer is not started.
inline const QString kInstallerUnverifiedText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "无法验证安装包，请确认来源后手动安装!"));
inline const QString kInstallerTooLargeText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "安装包过大，已停止下载!"));
inline const QString kInstallerNoSpaceText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "磁盘空间不足，无法下载安装包!"));
inline const QString kInstallerBadChecksumText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "安装包校验失败!"));
inline const QString kInstallerDownloadFailedText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "安装包下载失败!"));

class DownloadDialog : public WindowImplBase {
  Q_OBJECT

 public:
  static constexpr int kClosed = 1;
  static constexpr int kEndProgram = 2;
  static inline const QString kCaption = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "升级下载"));

  DownloadDialog(UpgradeOffer offer, DesktopOpener openUrl, FileShower showFile, DownloadLimits limits = {});

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
  void Finish(DownloadResult result, bool verified);

  const UpgradeOffer offer_;
  const DesktopOpener openUrl_;
  const FileShower showFile_;
  const DownloadLimits limits_;
  QLabel* text_ = nullptr;
  QProgressBar* slider_ = nullptr;
  bool finished_ = false;   // the worker has reported its end
  // Written by the worker before it posts its end, read by the UI thread after.
  std::string installerPath_;
  NetWorker worker_;  // last: cancelled and joined before anything above goes away
};

}  // namespace zav
