#include "single_instance.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

#include <unistd.h>

namespace {

const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");

QString runtimeFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  return folder;
}

}  // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), key_(key) {
  lock_ = std::make_unique<QLockFile>(runtimeFolder() + QLatin1Char('/') + key_ + QStringLiteral(".lock"));
  // No age limit: a lock is stale only when its process is gone, which
  // QLockFile checks by the process id it recorded.
  lock_->setStaleLockTime(0);
  isFirst_ = lock_->tryLock(0);
  if (!isFirst_ && lock_->error() == QLockFile::LockFailedError) {
    // A crashed first instance leaves its file behind; take it over.
    if (lock_->removeStaleLockFile()) isFirst_ = lock_->tryLock(0);
  } else if (!isFirst_) {
    // The lock cannot be made at all (no writable folder): run rather than
    // refuse to start.
    isFirst_ = lock_->error() != QLockFile::LockFailedError;
  }
  if (isFirst_) serveRequests();
}

SingleInstance::~SingleInstance() {
  if (server_) server_->close();
}

void SingleInstance::serveRequests() {
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // We hold the lock, so a socket file of that name is a crashed instance's.
  QLocalServer::removeServer(key_);
  server_->listen(key_);
  connect(server_.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->readAll().contains(kRaiseRequest)) return;
        socket->disconnectFromServer();
        if (onRaiseRequest) onRaiseRequest();
      });
    }
  });
}

bool SingleInstance::askFirstToRaise(int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(key_);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kRaiseRequest);
  const bool written = socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  return written;
}

QString SingleInstance::instanceKeyForExecutable() {
  return instanceKeyFor(QCoreApplication::applicationFilePath());
}

QString SingleInstance::instanceKeyFor(const QString& executablePath) {
  const QString executable = QFileInfo(executablePath).canonicalFilePath();
  const QByteArray digest = QCryptographicHash::hash(executable.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
  return QStringLiteral("talvenor-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

void raiseLastActiveWindow(QWidget* mainWindow) {
  QWidget* target = QApplication::activeModalWidget();
  if (!target) target = mainWindow;
  if (!target) return;
  // A modal window's owner comes back with it.
  for (QWidget* window : {mainWindow, target}) {
    if (window && window->isMinimized()) window->showNormal();
  }
  target->show();
  target->raise();
  target->activateWindow();
}
