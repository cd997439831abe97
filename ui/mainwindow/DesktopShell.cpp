#include "DesktopShell.h"

#include <glog/logging.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>

namespace zav {
namespace {

class SystemShell final : public DesktopShell {
 public:
  bool Open(const QUrl& url) override {
    if (QDesktopServices::openUrl(url)) return true;
    LOG(ERROR) << "MainWnd: nothing opens " << url.toString().toStdString();
    return false;
  }

  void ShowInFileManager(const QUrl& file) override {
    const QUrl folder = file.adjusted(QUrl::RemoveFilename);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
      Open(folder);
      return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QString::fromLatin1(file.toEncoded())} << QString();
    // Asynchronous: a file manager that must first be started can take seconds to answer.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), nullptr);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [this, watcher, folder] {
      if (watcher->isError()) Open(folder);
      watcher->deleteLater();
    });
  }
};

}  // namespace

QUrl LocalFileUrl(std::string_view path) {
  const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
  return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

DesktopShell& SystemDesktopShell() {
  static SystemShell shell;
  return shell;
}

}  // namespace zav
