#include "single_instance.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalSocket>
#include <QWidget>

#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");

// The user id of the process at the other end of a local connection.
std::optional<uid_t> peerUser(qintptr descriptor) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return std::nullopt;
  return credentials.uid;
}

}  // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), key_(key) {
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::AbstractNamespaceOption);
  if (server_->listen(key_)) {
    isFirst_ = true;
    serveRequests();
    return;
  }
  const bool taken = server_->serverError() == QAbstractSocket::AddressInUseError;
  server_.reset();
  // Anyone may bind an abstract name; only an instance of this user counts.
  // A name that cannot be had for another reason should not stop the start.
  isFirst_ = !taken || !heldByThisUser();
}

SingleInstance::~SingleInstance() {
  if (server_) server_->close();
}

bool SingleInstance::heldByThisUser() const {
  QLocalSocket socket;
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(key_);
  if (!socket.waitForConnected(2000)) return false;
  const bool ours = peerUser(socket.socketDescriptor()) == ::getuid();
  socket.disconnectFromServer();
  return ours;
}

void SingleInstance::serveRequests() {
  connect(server_.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      // Requests of other users' programs are not ours to follow.
      if (peerUser(socket->socketDescriptor()) != ::getuid()) {
        socket->abort();
        socket->deleteLater();
        continue;
      }
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
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
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
