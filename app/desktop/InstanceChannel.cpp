#include "InstanceChannel.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <unistd.h>

namespace zav {

namespace {

constexpr char kActivateRequest[] = "activate\n";
constexpr char kActivateReply[] = "ok\n";
constexpr int kConnectRetryMs = 50;
constexpr int kRequestReadTimeoutMs = 1000;

}  // namespace

QString InstanceSocketPath(const QString& lockPath) {
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
  const QByteArray hash = QCryptographicHash::hash(lockPath.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
  return QStringLiteral("%1/zav-audio-recorder-%2-%3.sock")
      .arg(folder)
      .arg(static_cast<qulonglong>(::getuid()))
      .arg(QString::fromLatin1(hash));
}

InstanceServer::InstanceServer(QString socketPath, std::function<void()> onActivate, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)), onActivate_(std::move(onActivate)),
      server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &InstanceServer::OnNewConnection);
}

InstanceServer::~InstanceServer() { server_->close(); }

bool InstanceServer::Listen() {
  QLocalServer::removeServer(socketPath_);
  return server_->listen(socketPath_);
}

QString InstanceServer::ErrorString() const { return server_->errorString(); }

void InstanceServer::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A peer that never sends its line is dropped instead of lingering.
    QTimer* guard = new QTimer(socket);
    guard->setSingleShot(true);
    connect(guard, &QTimer::timeout, socket, &QLocalSocket::abort);
    guard->start(kRequestReadTimeoutMs);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > 64) socket->abort();
        return;
      }
      const QByteArray line = socket->readLine();
      if (line == kActivateRequest) {
        if (onActivate_) onActivate_();
        socket->write(kActivateReply);
        socket->flush();
      }
      socket->disconnectFromServer();
    });
  }
}

bool AskRunningInstanceToActivate(const QString& socketPath, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  // The running copy may still be starting up: try again until the deadline.
  while (true) {
    socket.connectToServer(socketPath);
    if (socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) break;
    if (deadline.hasExpired()) return false;
    QThread::msleep(kConnectRetryMs);
    if (deadline.hasExpired()) return false;
  }
  socket.write(kActivateRequest);
  if (!socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) return false;
  while (!socket.canReadLine()) {
    if (deadline.hasExpired() || !socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
      return false;
    }
  }
  return socket.readLine() == kActivateReply;
}

}  // namespace zav
