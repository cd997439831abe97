#pragma once
// The hand-over between two copies of the program: the running copy listens on a per-user
// local socket; a second start asks it to bring its window forward and then exits.

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace zav {

// Socket path for the instance guarded by the lock file lockPath: in $XDG_RUNTIME_DIR (else
// the temporary folder), named after the user and the lock file, so separate settings trees
// (such as tests) never meet.
QString InstanceSocketPath(const QString& lockPath);

// The running copy's side. UI thread.
class InstanceServer : public QObject {
  Q_OBJECT

 public:
  InstanceServer(QString socketPath, std::function<void()> onActivate, QObject* parent = nullptr);
  ~InstanceServer() override;

  // Call only while holding the instance lock: a socket left by a crashed copy is removed.
  bool Listen();
  QString ErrorString() const;

 private:
  void OnNewConnection();

  QString socketPath_;
  std::function<void()> onActivate_;
  QLocalServer* server_;
};

// The second start's side: asks the running copy to come forward. True when it confirmed
// within timeoutMs. Needs a QCoreApplication.
bool AskRunningInstanceToActivate(const QString& socketPath, int timeoutMs);

}  // namespace zav
