#include "DesktopOpener.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace zav {

DesktopOpener DefaultDesktopOpener() {
  return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

FileShower DefaultFileShower() {
  return [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath())); };
}

}  // namespace zav
