#include "openssl_stream.h"

#include "certificate_name.h"
#include "tls_module_api.h"
#include "transcript.h"
#include "trusted_module.h"
#include "wsa_error_numbers.h"

#include <QHostAddress>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dlfcn.h>
#include <unistd.h>
#include <utility>

namespace {

// What one readiness of the socket reads at most, so that a server that
// floods the connection cannot keep the event loop from its other work.
constexpr qsizetype kReadPerTurn = 1 << 20;
constexpr qsizetype kChunk = 16 * 1024;  // one TLS record

QString& moduleFileForTesting() {
  static QString path;
  return path;
}

// The module's table, loaded on first use; nullptr when it is missing.
const TalvenorTlsApi* loadedModule() {
  static const TalvenorTlsApi* const api = []() -> const TalvenorTlsApi* {
    void* handle = moduleFileForTesting().isEmpty()
                       ? TrustedModule::loadProgramModule(QLatin1String(kTalvenorTlsModuleFileName))
                       : TrustedModule::load(moduleFileForTesting());
    auto function = handle ? reinterpret_cast<TalvenorTlsApiFunction>(::dlsym(handle, kTalvenorTlsApiSymbol))
                           : nullptr;
    return function ? function() : nullptr;
  }();
  return api;
}

// The same once OpenSSL is set up; nullptr when it could not be.
const TalvenorTlsApi* preparedModule() {
  static const TalvenorTlsApi* const api = [] {
    const TalvenorTlsApi* table = loadedModule();
    return table && table->prepare() ? table : nullptr;
  }();
  return api;
}

// What the module's describe() reports, gathered.
struct Description {
  CertificateName::PresentedNames names;
  QString version, cipher, issuer;

  static void take(void* context, int fact, const char* utf8, int length) {
    auto& self = *static_cast<Description*>(context);
    // DNS entries are taken byte for byte: a NUL inside never matches.
    const QString text = fact == kTlsDnsName ? QString::fromLatin1(utf8, length) : QString::fromUtf8(utf8, length);
    switch (fact) {
      case kTlsDnsName: self.names.dnsNames << text; self.names.anyAlternative = true; break;
      case kTlsAddress: self.names.addresses << text; self.names.anyAlternative = true; break;
      case kTlsOtherAlternative: self.names.anyAlternative = true; break;
      case kTlsCommonName: self.names.commonNames << text; break;
      case kTlsIssuerName: if (self.issuer.isEmpty()) self.issuer = text; break;
      case kTlsVersion: self.version = QString(text).replace(QLatin1String("TLSv"), QLatin1String("TLS ")); break;
      case kTlsCipher: self.cipher = text; break;
      default: break;
    }
  }
};

Description describe(const TalvenorTlsApi& tls, TalvenorTlsSession* session) {
  Description description;
  tls.describe(session, &Description::take, &description);
  return description;
}

// Which TLS, and whose certificate, for whoever reads the transcript.
void transcribeSession(const Description& session) {
  if (!lcTranscript().isDebugEnabled()) return;
  Transcript::note(QStringLiteral("%1, %2; certificate: %3; issuer: %4")
                       .arg(session.version, session.cipher, session.names.commonNames.value(0), session.issuer));
}

const QString kNoModule = QStringLiteral("暗号化の部品（%1）を読み込めませんでした。")
                              .arg(QLatin1String(kTalvenorTlsModuleFileName));

}  // namespace

OpenSslStream::OpenSslStream(int descriptor, const QString& serverName, QObject* parent)
    : EncryptedStream(parent),
      descriptor_(descriptor),
      serverName_(serverName),
      tls_(preparedModule()),
      readable_(new QSocketNotifier(descriptor, QSocketNotifier::Read, this)),
      writable_(new QSocketNotifier(descriptor, QSocketNotifier::Write, this)) {
  readable_->setEnabled(false);
  writable_->setEnabled(false);
  connect(readable_, &QSocketNotifier::activated, this, &OpenSslStream::onReadable);
  connect(writable_, &QSocketNotifier::activated, this, &OpenSslStream::onWritable);
  // From the event loop: a fast server can let the whole handshake finish
  // inside the first call, and the maker's caller is not listening yet.
  QMetaObject::invokeMethod(
      this,
      [this] {
        const DeleteWhenIdle::Call call(lifetime_);
        if (!released_) start();
      },
      Qt::QueuedConnection);
}

OpenSslStream::~OpenSslStream() { closeConnection(); }

void OpenSslStream::loadModule() { (void)loadedModule(); }

void OpenSslStream::prepare() { (void)preparedModule(); }

void OpenSslStream::useModuleFileForTesting(const QString& path) { moduleFileForTesting() = path; }

EncryptedStream* OpenSslStream::make(int descriptor, const QString& serverName, QObject* parent) {
  return new OpenSslStream(descriptor, serverName, parent);
}

// The client hello goes out; the rest of the handshake follows the server's
// replies.
void OpenSslStream::start() {
  if (tls_ == nullptr) {
    fail(TlsError::kHandshakeFailed, kNoModule);
    return;
  }
  const QHostAddress address = CertificateName::addressIn(serverName_);
  const QByteArray server = address.isNull() ? CertificateName::normalised(serverName_).toUtf8()
                                             : address.toString().toLatin1();
  session_ = tls_->open(descriptor_, server.constData(), !address.isNull());
  if (session_ == nullptr) {
    fail(TlsError::kHandshakeFailed, QStringLiteral("TLS could not be set up for this connection"));
    return;
  }
  handshake();
}

void OpenSslStream::handshake() {
  switch (tls_->handshake(session_)) {
    case kTlsDone: verified(); return;
    case kTlsWantRead: handshakeWaits_ = Waiting::Readable; rearm(); return;
    case kTlsWantWrite: handshakeWaits_ = Waiting::Writable; rearm(); return;
    default: break;
  }
  char reason[512];
  switch (tls_->failure(session_, reason, int(sizeof reason))) {
    case kTlsCertificateOtherName:
      fail(TlsError::kCertificateRejected, CertificateName::otherHostProblem(serverName_));
      break;
    case kTlsCertificateNotVerified:
      fail(TlsError::kCertificateRejected, QString::fromUtf8(reason));
      break;
    default:
      fail(TlsError::kHandshakeFailed, QString::fromUtf8(reason));
      break;
  }
}

// OpenSSL has verified the chain and the name; ours has the last word.
void OpenSslStream::verified() {
  handshakeWaits_ = Waiting::Nothing;
  const Description session = describe(*tls_, session_);
  if (!CertificateName::matches(session.names, serverName_)) {
    fail(TlsError::kCertificateRejected, CertificateName::otherHostProblem(serverName_));
    return;
  }
  encrypted_ = true;
  transcribeSession(session);
  rearm();
  emit encrypted();
  if (released_) return;
  writeSome();
  // The server may have spoken in the same packets as its last handshake
  // message (a greeting on a port encrypted from the first byte).
  if (room_ > 0 && tls_->hasPending(session_)) postReadPass();
}

// Told from the event loop, never from inside the maker's call.
void OpenSslStream::fail(std::int16_t number, const QString& reason) {
  if (failed_) return;
  failed_ = true;
  rearm();
  Transcript::note(QStringLiteral("TLS handshake failed: ") + reason);
  QMetaObject::invokeMethod(
      this,
      [this, number, reason] {
        const DeleteWhenIdle::Call call(lifetime_);
        if (!released_) emit failed(number, reason);
      },
      Qt::QueuedConnection);
}

void OpenSslStream::onReadable() {
  const DeleteWhenIdle::Call call(lifetime_);
  if (!encrypted_) {
    if (!failed_) handshake();
    return;
  }
  if (writeWaits_ == Waiting::Readable) writeSome();
  if (!released_) readSome();
}

void OpenSslStream::onWritable() {
  const DeleteWhenIdle::Call call(lifetime_);
  if (!encrypted_) {
    if (!failed_) handshake();
    return;
  }
  writeSome();
}

void OpenSslStream::send(const QByteArray& bytes) {
  const DeleteWhenIdle::Call call(lifetime_);
  if (released_ || ended_ || failed_) return;
  unsent_ += bytes;
  if (encrypted_) writeSome();  // else once the handshake is done
}

void OpenSslStream::setReadLimit(qsizetype bytes) {
  room_ = std::max<qsizetype>(bytes, 0);
  if (released_ || ended_ || !encrypted_) return;
  rearm();
  // Records OpenSSL already holds wake no notifier.
  if (room_ > 0 && tls_->hasPending(session_)) postReadPass();
}

void OpenSslStream::postReadPass() {
  if (readPassPosted_) return;
  readPassPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        const DeleteWhenIdle::Call call(lifetime_);
        readPassPosted_ = false;
        readSome();
      },
      Qt::QueuedConnection);
}

void OpenSslStream::readSome() {
  if (!encrypted_ || released_ || ended_) return;
  QByteArray data;
  int endedWith = -1;  // -1: still open
  const qsizetype most = std::min(kReadPerTurn, room_);
  while (data.size() < most) {
    const qsizetype at = data.size();
    const qsizetype want = std::min(kChunk, most - at);
    data.resize(at + want);
    int done = 0;
    int errnum = 0;
    const int result = tls_->read(session_, data.data() + at, int(want), &done, &errnum);
    data.resize(at + done);
    if (result == kTlsDone) continue;
    if (result == kTlsClosed) endedWith = 0;
    if (result == kTlsFailed) endedWith = errnum;
    break;  // or wait for more
  }
  room_ -= data.size();
  rearm();
  if (!data.isEmpty()) {
    emit received(data);
    if (released_) return;  // the receiver let go meanwhile
  }
  if (endedWith >= 0) {
    end(endedWith);
  } else if (room_ > 0 && tls_->hasPending(session_)) {
    postReadPass();  // stopped at the turn's bound
  }
}

void OpenSslStream::writeSome() {
  writeWaits_ = Waiting::Nothing;
  while (!unsent_.isEmpty() && !ended_) {
    int done = 0;
    int errnum = 0;
    const int result = tls_->write(session_, unsent_.constData(), int(std::min<qsizetype>(unsent_.size(), INT_MAX)),
                                   &done, &errnum);
    if (result == kTlsDone) {
      unsent_.remove(0, done);
      continue;
    }
    if (result == kTlsWantWrite || result == kTlsWantRead) {
      writeWaits_ = result == kTlsWantWrite ? Waiting::Writable : Waiting::Readable;
      break;
    }
    // The connection cannot take more; what is left is lost with it, and
    // the reading side tells how it ended.
    unsent_.clear();
  }
  if (released_ && writeWaits_ == Waiting::Nothing) {
    closeConnection();
    lifetime_.dispose();
    return;
  }
  rearm();
}

// The bytes before the end went first.
void OpenSslStream::end(int errnum) {
  ended_ = true;
  unsent_.clear();
  rearm();
  emit ended(errnum);
}

// Each notifier is on only while something waits for it.
void OpenSslStream::rearm() {
  bool read = false;
  bool write = false;
  if (failed_ || descriptor_ < 0) {
    // nothing more of this connection
  } else if (!encrypted_) {
    read = handshakeWaits_ == Waiting::Readable;
    write = handshakeWaits_ == Waiting::Writable;
  } else if (!ended_) {
    read = (room_ > 0 && !released_) || writeWaits_ == Waiting::Readable;
    write = writeWaits_ == Waiting::Writable;
  }
  readable_->setEnabled(read);
  writable_->setEnabled(write);
}

// Bytes still unsent go out first (writeSome() comes back here once they
// have).
void OpenSslStream::release() {
  const DeleteWhenIdle::Call call(lifetime_);
  released_ = true;
  if (encrypted_ && !ended_ && !unsent_.isEmpty()) {
    writeSome();
    return;
  }
  closeConnection();
  lifetime_.dispose();
}

void OpenSslStream::closeConnection() {
  if (descriptor_ < 0) return;
  readable_->setEnabled(false);
  writable_->setEnabled(false);
  // close_notify, if the socket takes it now.
  if (session_ != nullptr) tls_->close(std::exchange(session_, nullptr), encrypted_ && !ended_);
  ::close(descriptor_);
  descriptor_ = -1;
}
