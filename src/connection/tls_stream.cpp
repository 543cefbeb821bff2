#include "tls_stream.h"

#include "certificate_name.h"
#include "transcript.h"
#include "connection_errors.h"

#include <QDir>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

constexpr qint64 kBufferBytes = 64 * 1024;

QString protocolName(QSsl::SslProtocol protocol) {
  switch (protocol) {
    case QSsl::TlsV1_2: return QStringLiteral("TLS 1.2");
    case QSsl::TlsV1_3: return QStringLiteral("TLS 1.3");
    default: return QStringLiteral("TLS (an older version)");
  }
}

// The folder of the system's trusted certificates, which Qt looks up as
// needed: a variable naming it (or a file in it) adds nothing.
constexpr QLatin1StringView kSystemCertificates("/etc/ssl/certs");

bool inSystemStore(const QFileInfo& place) {
  const QString path = place.canonicalFilePath();
  return path == kSystemCertificates || QFileInfo(path).path() == kSystemCertificates;
}

// The trusted certificates that OpenSSL's own variables name, beside the
// system's: SSL_CERT_FILE (one file) and SSL_CERT_DIR (folders separated by
// ":"). Read once per process. As with OpenSSL, a place that does not exist
// adds nothing; one that is not a regular file (a FIFO would hold the send
// for ever) or not a folder is refused.
struct TrustFromEnvironment {
  QList<QSslCertificate> certificates;
  QString problem;  // a variable that names something that cannot be read
};

const TrustFromEnvironment& trustFromEnvironment() {
  static const TrustFromEnvironment trust = [] {
    TrustFromEnvironment found;
    const QFileInfo file(qEnvironmentVariable("SSL_CERT_FILE"));
    if (!file.filePath().isEmpty() && file.exists() && !inSystemStore(file)) {
      if (file.isFile())
        found.certificates += QSslCertificate::fromPath(file.filePath(), QSsl::Pem);
      else
        found.problem = QStringLiteral("SSL_CERT_FILE is not a regular file: ") + file.filePath();
    }
    const QStringList folders = qEnvironmentVariable("SSL_CERT_DIR").split(u':', Qt::SkipEmptyParts);
    for (const QString& path : folders) {
      const QFileInfo folder(path);
      if (!folder.exists() || inSystemStore(folder)) continue;
      if (!folder.isDir()) {
        found.problem = QStringLiteral("SSL_CERT_DIR is not a folder: ") + path;
        continue;
      }
      for (const QFileInfo& entry : QDir(path).entryInfoList(QDir::Files | QDir::Readable))
        found.certificates += QSslCertificate::fromPath(entry.filePath(), QSsl::Pem);
    }
    // Adding certificates ends Qt's loading of the system's as needed: they
    // come along, read once here rather than at every connection.
    if (!found.certificates.isEmpty()) found.certificates += QSslConfiguration::systemCaCertificates();
    return found;
  }();
  return trust;
}

// Qt's default configuration (the system's trust store, loaded as needed),
// with the certificates the environment adds.
QSslConfiguration configuration() {
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.setProtocol(QSsl::TlsV1_2OrLater);
  const QList<QSslCertificate>& added = trustFromEnvironment().certificates;
  if (!added.isEmpty()) config.addCaCertificates(added);
  return config;
}

}  // namespace

TlsStream::TlsStream(int descriptor, const QString& serverName, QObject* parent)
    : ByteStream(parent), socket_(new QSslSocket(this)) {
  // Past this Qt stops reading the connection (the encrypted side too)
  // until decrypted bytes are taken.
  socket_->setReadBufferSize(kBufferBytes);
  socket_->setSslConfiguration(configuration());
  socket_->setPeerVerifyMode(QSslSocket::VerifyPeer);
  socket_->setPeerVerifyName(serverName);
  connect(socket_, &QSslSocket::encrypted, this, [this, serverName] {
    const DeleteWhenIdle::Call call(lifetime_);
    // Qt's name matching is looser than RFC 6125: ours has the last word.
    if (!CertificateName::matches(socket_->peerCertificate(), serverName)) {
      certificateProblem_ = CertificateName::otherHostProblem(serverName);
      Transcript::note(QStringLiteral("TLS handshake failed: ") + certificateProblem_);
      // Nothing is passed on; the failure is told from the event loop.
      QMetaObject::invokeMethod(
          this,
          [this] {
            const DeleteWhenIdle::Call call(lifetime_);
            if (!released_) emit failed(TlsError::kCertificateRejected, certificateProblem_);
          },
          Qt::QueuedConnection);
      return;
    }
    encrypted_ = true;
    transcribeSession();
    emit encrypted();
  });
  connect(socket_, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
    QStringList reasons;
    for (const QSslError& error : errors) reasons << error.errorString();
    certificateProblem_ = reasons.join(QStringLiteral(" / "));
    // Not ignored: the handshake fails.
  });
  connect(socket_, &QSslSocket::readyRead, this, &TlsStream::passOn);
  connect(socket_, &QSslSocket::disconnected, this, [this] {
    const DeleteWhenIdle::Call call(lifetime_);
    end(0);
  });
  connect(socket_, &QSslSocket::errorOccurred, this, &TlsStream::onErrorOccurred);
  const QString trustProblem = trustFromEnvironment().problem;
  if (!trustProblem.isEmpty() || !socket_->setSocketDescriptor(descriptor)) {
    if (!trustProblem.isEmpty()) ::close(descriptor);
    const QString reason = trustProblem.isEmpty() ? socket_->errorString() : trustProblem;
    Transcript::note(QStringLiteral("TLS handshake failed: ") + reason);
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
          const DeleteWhenIdle::Call call(lifetime_);
          if (!released_) emit failed(TlsError::kHandshakeFailed, reason);
        },
        Qt::QueuedConnection);
    return;
  }
  socket_->startClientEncryption();
}

TlsStream::~TlsStream() = default;

void TlsStream::prepare() {
  QSslSocket::supportsSsl();
  (void)configuration();
}

void TlsStream::send(const QByteArray& bytes) {
  const DeleteWhenIdle::Call call(lifetime_);
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
  const DeleteWhenIdle::Call call(lifetime_);
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
  const DeleteWhenIdle::Call call(lifetime_);
  released_ = true;
  disconnect(socket_, nullptr, this, nullptr);
  // The socket's close may come inside a box that a caller below still has
  // open: the stream goes only once none of its functions is on the stack.
  connect(socket_, &QSslSocket::disconnected, this, [this] { lifetime_.dispose(); });
  if (socket_->state() == QAbstractSocket::UnconnectedState) {
    lifetime_.dispose();
    return;
  }
  socket_->disconnectFromHost();  // after what is still unsent
}

// Which TLS, and whose certificate, for whoever reads the transcript.
void TlsStream::transcribeSession() const {
  if (!lcTranscript().isDebugEnabled()) return;
  const QSslCertificate certificate = socket_->peerCertificate();
  Transcript::note(QStringLiteral("%1, %2; certificate: %3; issuer: %4")
                       .arg(protocolName(socket_->sessionProtocol()), socket_->sessionCipher().name(),
                            certificate.subjectDisplayName(), certificate.issuerDisplayName()));
}

void TlsStream::onErrorOccurred() {
  const DeleteWhenIdle::Call call(lifetime_);
  if (released_) return;
  const QAbstractSocket::SocketError error = socket_->error();
  if (!encrypted_) {
    Transcript::note(QStringLiteral("TLS handshake failed: ") +
                     (certificateProblem_.isEmpty() ? socket_->errorString() : certificateProblem_));
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
