#include "tcp_connector.h"

#include "certificate_name.h"

#include "connection_errors.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThreadPool>

#include <arpa/inet.h>
#include <net/if.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// As long as a further address is left, one that does not answer is given
// this long before the next is tried; the last one waits for the system.
constexpr int kAddressTimeoutMs = 30000;

// The address as connect() takes it.
socklen_t toSockaddr(const QHostAddress& address, std::uint16_t port, sockaddr_storage& out) {
  std::memset(&out, 0, sizeof out);
  if (address.protocol() == QAbstractSocket::IPv6Protocol) {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(out);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(port);
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(&in6.sin6_addr, &bytes, sizeof in6.sin6_addr);
    // A link-local address names its interface ("fe80::1%eth0") or its index.
    const QString scope = address.scopeId();
    bool numeric = false;
    const uint index = scope.toUInt(&numeric);
    in6.sin6_scope_id = numeric ? index : ::if_nametoindex(scope.toLocal8Bit().constData());
    return sizeof in6;
  }
  auto& in4 = reinterpret_cast<sockaddr_in&>(out);
  in4.sin_family = AF_INET;
  in4.sin_port = htons(port);
  in4.sin_addr.s_addr = htonl(address.toIPv4Address());
  return sizeof in4;
}

// The name lookup failed; looks the name up once more to tell a name that
// does not exist (11001) from one that exists without an address (11004),
// which QHostInfo reports alike. Blocks: runs off the user-interface thread.
std::int16_t lookupFailureNumber(const QString& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = ::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &result);
  if (result) ::freeaddrinfo(result);
  return rc == EAI_NODATA ? WsaError::WSANO_DATA : WsaError::WSAHOST_NOT_FOUND;
}

}  // namespace

TcpConnector::TcpConnector(QObject* parent) : QObject(parent) {
  addressTimer_.setSingleShot(true);
  addressTimer_.setInterval(kAddressTimeoutMs);
  connect(&addressTimer_, &QTimer::timeout, this, &TcpConnector::onAddressTimedOut);
}

TcpConnector::~TcpConnector() {
  if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
  giveUp();
}

void TcpConnector::dispose() {
  blockSignals(true);
  if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
  lookupId_ = -1;
  giveUp();
  lifetime_.dispose();
}

std::int16_t TcpConnector::ErrorNumber(int errnum) {
  using namespace WsaError;
  switch (errnum) {
    case ECONNREFUSED:
      return WSAECONNREFUSED;
    case ETIMEDOUT:
      return WSAETIMEDOUT;
    case ECONNRESET:
      return WSAECONNRESET;
    case ENETUNREACH:
    case EADDRNOTAVAIL:
      return WSAEADDRNOTAVAIL;
    case EHOSTUNREACH:
      return WSAEHOSTUNREACH;
    case EACCES:
    case EPERM:
      return WSAEACCES;
    case ENOBUFS:
    case ENOMEM:
    case EMFILE:
    case ENFILE:
      return WSAENOBUFS;
    default:
      return WSAENETDOWN;
  }
}

void TcpConnector::start(const QString& host, std::uint16_t port) {
  const DeleteWhenIdle::Call call(lifetime_);
  host_ = host;
  port_ = port;
  // An address written out needs no look-up (nor its round trip through
  // the look-up's thread or cache); an IPv6 one may come in brackets.
  const QHostAddress literal = CertificateName::addressIn(host);
  if (!literal.isNull()) {
    start(QList<QHostAddress>{literal}, port);
    return;
  }
  lookupId_ = QHostInfo::lookupHost(host, this, &TcpConnector::onLookedUp);
}

void TcpConnector::start(const QList<QHostAddress>& addresses, std::uint16_t port) {
  port_ = port;
  addresses_ = addresses;
  emit connecting();
  tryNextAddress();
}

void TcpConnector::onLookedUp(const QHostInfo& info) {
  const DeleteWhenIdle::Call call(lifetime_);
  lookupId_ = -1;
  if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
    classifyLookupFailure();
    return;
  }
  start(info.addresses(), port_);
}

// Tries the addresses in order until one answers; the error of the last one
// tried is the one reported.
void TcpConnector::tryNextAddress() {
  while (!addresses_.isEmpty()) {
    const QHostAddress address = addresses_.takeFirst();
    sockaddr_storage target{};
    const socklen_t length = toSockaddr(address, port_, target);
    descriptor_ = ::socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor_ < 0) {
      lastError_ = errno;
      continue;
    }
    int rc;
    do {
      rc = ::connect(descriptor_, reinterpret_cast<const sockaddr*>(&target), length);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
      finishAddress(0);
      return;
    }
    if (errno != EINPROGRESS) {
      lastError_ = errno;
      ::close(descriptor_);
      descriptor_ = -1;
      continue;
    }
    writable_ = new QSocketNotifier(descriptor_, QSocketNotifier::Write, this);
    connect(writable_, &QSocketNotifier::activated, this, &TcpConnector::onWritable);
    if (!addresses_.isEmpty()) addressTimer_.start();
    return;
  }
  emit failed(ErrorNumber(lastError_), qt_error_string(lastError_));
}

void TcpConnector::onWritable() {
  const DeleteWhenIdle::Call call(lifetime_);
  int pending = 0;
  socklen_t length = sizeof pending;
  if (::getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) pending = errno;
  finishAddress(pending);
}

void TcpConnector::onAddressTimedOut() {
  const DeleteWhenIdle::Call call(lifetime_);
  finishAddress(ETIMEDOUT);
}

// The attempt on the current address has ended: connected (0) or failed.
void TcpConnector::finishAddress(int errnum) {
  if (errnum == 0) {
    stopWaiting();
    emit connected(std::exchange(descriptor_, -1));
    return;
  }
  lastError_ = errnum;
  giveUp();
  tryNextAddress();
}

void TcpConnector::stopWaiting() {
  addressTimer_.stop();
  delete writable_;
  writable_ = nullptr;
}

void TcpConnector::giveUp() {
  stopWaiting();
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

void TcpConnector::classifyLookupFailure() {
  const QPointer<TcpConnector> self(this);
  QThreadPool::globalInstance()->start([self, host = host_] {
    const std::int16_t number = lookupFailureNumber(host);
    // Back on the user-interface thread; dropped when the connector was
    // given up meanwhile.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, number] {
          if (!self) return;
          const DeleteWhenIdle::Call call(self->lifetime_);
          emit self->failed(number, number == WsaError::WSANO_DATA
                                        ? QStringLiteral("Valid name, no data record of requested type")
                                        : QStringLiteral("Host not found"));
        },
        Qt::QueuedConnection);
  });
}
