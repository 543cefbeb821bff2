#include "tls_stream.h"

#include "wsa_error_numbers.h"

#include <QSslSocket>
#include <QStringList>

#include <cerrno>

TlsStream::TlsStream(int descriptor, const QString& serverName, QObject* parent)
    : ByteStream(parent), socket_(new QSslSocket(this)) {
  socket_->setPeerVerifyMode(QSslSocket::VerifyPeer);
  socket_->setPeerVerifyName(serverName);
  connect(socket_, &QSslSocket::encrypted, this, [this] {
    encrypted_ = true;
    emit encrypted();
  });
  connect(socket_, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
    QStringList reasons;
    for (const QSslError& error : errors) reasons << error.errorString();
    certificateProblem_ = reasons.join(QStringLiteral(" / "));
    // Not ignored: the handshake fails.
  });
  connect(socket_, &QSslSocket::readyRead, this, [this] {
    if (!encrypted_) return;
    const QByteArray bytes = socket_->readAll();
    if (!bytes.isEmpty()) emit received(bytes);
  });
  connect(socket_, &QSslSocket::disconnected, this, [this] {
    if (encrypted_ && !released_) emit ended(0);
  });
  connect(socket_, &QSslSocket::errorOccurred, this, &TlsStream::onErrorOccurred);
  if (!socket_->setSocketDescriptor(descriptor)) {
    QMetaObject::invokeMethod(
        this, [this] { emit failed(TlsError::kHandshakeFailed, socket_->errorString()); }, Qt::QueuedConnection);
    return;
  }
  socket_->startClientEncryption();
}

TlsStream::~TlsStream() = default;

void TlsStream::send(const QByteArray& bytes) {
  if (released_) return;
  socket_->write(bytes);
}

void TlsStream::release() {
  released_ = true;
  disconnect(socket_, nullptr, this, nullptr);
  connect(socket_, &QSslSocket::disconnected, this, &QObject::deleteLater);
  if (socket_->state() == QAbstractSocket::UnconnectedState) {
    deleteLater();
    return;
  }
  socket_->disconnectFromHost();  // after what is still unsent
}

void TlsStream::onErrorOccurred() {
  if (released_) return;
  const QAbstractSocket::SocketError error = socket_->error();
  if (!encrypted_) {
    if (!certificateProblem_.isEmpty()) {
      emit failed(TlsError::kCertificateRejected, certificateProblem_);
    } else {
      emit failed(TlsError::kHandshakeFailed, socket_->errorString());
    }
    return;
  }
  // Once encrypted, the ends of an ordinary connection.
  if (error == QAbstractSocket::RemoteHostClosedError) {
    emit ended(0);
  } else {
    emit ended(ECONNRESET);
  }
}
