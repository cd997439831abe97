#pragma once
// Offering a newer version: a prompt (mandatory) or a question (optional), then the download
// dialog. UI thread; every box is modal and owned by owner.

#include "DesktopOpener.h"
#include "ServiceAnswers.h"

namespace zav {

class WindowImplBase;

inline const QString kNewVersionText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "发现新版本啦!"));
inline const QString kNoNewVersionText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "没有发现新版本!"));

// Returns the result of the last modal window shown: 0 when the user declined an optional
// upgrade, else the download dialog's (DownloadDialog::kEndProgram asks the caller to end
// the program).
int OfferUpgrade(WindowImplBase* owner, const UpgradeOffer& offer, const DesktopOpener& openUrl,
                 const FileShower& showFile);

}  // namespace zav
