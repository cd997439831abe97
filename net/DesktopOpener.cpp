#include "DesktopOpener.h"

#include <QDesktopServices>

namespace zav {

DesktopOpener DefaultDesktopOpener() {
  return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

}  // namespace zav
