#include "tls_stream.h"

#include "certificate_name.h"
#include "transmission_texts.h"
#include "wsa_error_numbers.h"

#include <QSslSocket>
#include <QStringList>

#include <algorithm>
#include <cerrno>

namespace {

constexpr qint64 kBufferBytes = 64 * 1024;

}  // namespace

TlsStream::TlsStream(int descriptor, const QString& serverName, QObject* parent)
    : ByteStream(parent), socket_(new QSslSocket(this)) {
  // Past this Qt stops reading the connection (the encrypted side too)
  // until decrypted bytes are taken.
  socket_->setReadBufferSize(kBufferBytes);
  socket_->setPeerVerifyMode(QSslSocket::VerifyPeer);
  socket_->setPeerVerifyName(serverName);
  connect(socket_, &QSslSocket::encrypted, this, [this, serverName] {
    // Qt's name matching is looser than RFC 6125: ours has the last word.
    if (!CertificateName::matches(socket_->peerCertificate(), serverName)) {
      certificateProblem_ = TransmissionTexts::kCertificateNamesOtherHost.arg(serverName);
      // Nothing is passed on; the failure is told from the event loop.
      QMetaObject::invokeMethod(
          this, [this] { emit failed(TlsError::kCertificateRejected, certificateProblem_); }, Qt::QueuedConnection);
      return;
    }
    encrypted_ = true;
    emit encrypted();
  });
  connect(socket_, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
    QStringList reasons;
    for (const QSslError& error : errors) reasons << error.errorString();
    certificateProblem_ = reasons.join(QStringLiteral(" / "));
    // Not ignored: the handshake fails.
  });
  connect(socket_, &QSslSocket::readyRead, this, &TlsStream::passOn);
  connect(socket_, &QSslSocket::disconnected, this, [this] { end(0); });
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

void TlsStream::setReadLimit(qsizetype bytes) {
  room_ = std::max<qsizetype>(bytes, 0);
  // Bytes held back while there was no room: passed on from the event
  // loop, not from inside the receiver's call.
  if (room_ == 0 || released_ || passOnPosted_) return;
  if (socket_->bytesAvailable() == 0 && (endedWith_ < 0 || endTold_)) return;
  passOnPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        passOnPosted_ = false;
        passOn();
      },
      Qt::QueuedConnection);
}

// Taking decrypted bytes lets Qt read and decrypt more.
void TlsStream::passOn() {
  if (!encrypted_ || released_) return;
  while (room_ > 0) {
    const QByteArray bytes = socket_->read(std::min<qint64>(room_, socket_->bytesAvailable()));
    if (bytes.isEmpty()) break;
    room_ -= bytes.size();
    emit received(bytes);
    if (released_) return;  // the receiver let go meanwhile
  }
  if (endedWith_ >= 0 && !endTold_ && socket_->bytesAvailable() == 0) {
    endTold_ = true;
    emit ended(endedWith_);
  }
}

// The bytes before the end go first.
void TlsStream::end(int errnum) {
  if (!encrypted_ || released_ || endedWith_ >= 0) return;
  endedWith_ = errnum;
  passOn();
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
  end(error == QAbstractSocket::RemoteHostClosedError ? 0 : ECONNRESET);
}
