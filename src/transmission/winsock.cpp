#include "winsock.h"

#include "ansi_code_page.h"
#include "tcp_connector.h"
#include "wsa_error_numbers.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>
#include <QTcpSocket>
#include <QThreadPool>
#include <utility>

#ifdef Q_OS_UNIX
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#endif

namespace {

using namespace WsaError;

QHash<std::uint16_t, std::uint16_t>& portOverride() {
  static QHash<std::uint16_t, std::uint16_t> ports;
  return ports;
}

// The name lookup failed; looks the name up once more to tell a name that
// does not exist (11001) from one that exists without an address (11004),
// which QHostInfo reports alike. Runs off the user-interface thread.
std::int16_t lookupFailureNumber(const QString& host) {
#ifdef Q_OS_UNIX
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = ::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &result);
  if (result) ::freeaddrinfo(result);
#ifdef EAI_NODATA
  if (rc == EAI_NODATA) return WSANO_DATA;
#endif
  Q_UNUSED(rc);
#else
  Q_UNUSED(host);
#endif
  return WSAHOST_NOT_FOUND;
}

// After QTcpSocket has reported a remote close: was it a reset? The second
// handle keeps the connection's state readable. A connection the server
// closed normally waits in CLOSE_WAIT for our side; a reset has ended it.
// A reset that only answered data we sent after the server had closed
// leaves EPIPE pending and still counts as a close by the server.
bool wasReset(int descriptor) {
#ifdef Q_OS_LINUX
  if (descriptor < 0) return false;
  tcp_info info{};
  socklen_t length = sizeof info;
  if (::getsockopt(descriptor, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
  if (info.tcpi_state != TCP_CLOSE) return false;
  int pending = 0;
  socklen_t pendingLength = sizeof pending;
  ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &pending, &pendingLength);
  return pending != EPIPE;
#else
  Q_UNUSED(descriptor);
  return false;
#endif
}

void closeDescriptor(int& descriptor) {
#ifdef Q_OS_UNIX
  if (descriptor >= 0) ::close(descriptor);
#endif
  descriptor = -1;
}

}  // namespace

Winsock::Winsock(QObject* parent) : SocketControl(parent) {}

Winsock::~Winsock() {
  queue_.clear();
  dropSocket();
}

void Winsock::setPortOverrideForTesting(const QHash<std::uint16_t, std::uint16_t>& ports) {
  portOverride() = ports;
}

// ---------------------------------------------------------------- operations

void Winsock::Connect(const QString& host, std::uint16_t port) {
  // A new connection starts clean: nothing of the previous one remains.
  dropSocket();
  queue_.clear();
  received_.clear();
  ++connection_;

  port = portOverride().value(port, port);

  // As on Windows, the unspecified address and port 0 cannot be connected to.
  const QHostAddress literal(host);
  if (port == 0 || literal == QHostAddress(QHostAddress::AnyIPv4) ||
      literal == QHostAddress(QHostAddress::AnyIPv6)) {
    state_ = sckError;
    raiseError(WSAEADDRNOTAVAIL, QStringLiteral("The requested address is not valid in its context"));
    return;
  }

  state_ = sckResolvingHost;
  connector_ = new TcpConnector(this);
  connect(connector_, &TcpConnector::connecting, this, [this] { state_ = sckConnecting; });
  connect(connector_, &TcpConnector::connected, this, &Winsock::onConnectorConnected);
  connect(connector_, &TcpConnector::lookupFailed, this, [this](const QString& name) {
    state_ = sckError;
    classifyLookupFailure(name);
  });
  connect(connector_, &TcpConnector::failed, this, [this](std::int16_t number, const QString& description) {
    state_ = sckError;
    raiseError(number, description);
  });
  connector_->start(host, port);
}

void Winsock::Close() {
  // Nothing more of this connection reaches the handlers.
  dropSocket();
  queue_.clear();
  received_.clear();
  ++connection_;
  state_ = sckClosed;
}

int Winsock::State() const { return state_; }

void Winsock::SendData(const QString& text) {
  if (!socket_ || state_ != sckConnected) return;
  socket_->write(AnsiCodePage::fromUnicode(text));
  // Out now rather than on a later turn of the event loop.
  socket_->flush();
}

void Winsock::GetData(QString& data) {
  data = AnsiCodePage::toUnicode(received_);
  received_.clear();
}

bool Winsock::EndsWithCompleteReply(QByteArrayView data) {
  if (data.isEmpty() || data.back() != '\n') return false;
  const QByteArrayView lines = data.first(data.size() - 1);
  const QByteArrayView last = lines.sliced(lines.lastIndexOf('\n') + 1);
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const bool continues =
      last.size() >= 4 && digit(last[0]) && digit(last[1]) && digit(last[2]) && last[3] == '-';
  return !continues;
}

std::int16_t Winsock::ErrorNumber(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
      return WSAECONNRESET;
    case QAbstractSocket::SocketTimeoutError:
      return WSAETIMEDOUT;
    case QAbstractSocket::SocketAccessError:
      return WSAEACCES;
    case QAbstractSocket::SocketResourceError:
      return WSAENOBUFS;
    case QAbstractSocket::UnsupportedSocketOperationError:
      return WSAEOPNOTSUPP;
    case QAbstractSocket::NetworkError:
      return WSAENETDOWN;
    default:
      return WSAECONNABORTED;
  }
}

// ------------------------------------------------------------- event queue

void Winsock::enqueue(Event event) {
  queue_.push_back(std::move(event));
  if (delivering_ || deliveryPosted_) return;
  deliveryPosted_ = true;
  QMetaObject::invokeMethod(this, &Winsock::deliverEvents, Qt::QueuedConnection);
}

// Delivers the queued events in order, each only after the handler of the
// one before has returned. A handler that opens a modal box runs a nested
// event loop; a delivery posted meanwhile finds delivering_ set and leaves
// the events to this loop.
void Winsock::deliverEvents() {
  deliveryPosted_ = false;
  if (delivering_) return;
  delivering_ = true;
  const QPointer<Winsock> self(this);
  while (!queue_.empty()) {
    const Event event = std::move(queue_.front());
    queue_.pop_front();
    switch (event.kind) {
      case Event::Kind::Connect:
        emit connectEvent();
        break;
      case Event::Kind::DataArrival:
        // An earlier handler may have read this data already.
        if (EndsWithCompleteReply(received_))
          emit dataArrivalEvent(static_cast<std::int32_t>(received_.size()));
        break;
      case Event::Kind::Close:
        emit closeEvent();
        break;
      case Event::Kind::Error:
        emit errorEvent(event.number, event.description);
        break;
    }
    if (!self) return;
  }
  delivering_ = false;
}

void Winsock::raiseError(std::int16_t number, const QString& description) {
  enqueue(Event(Event::Kind::Error, number, description));
}

// Lets go of the current QTcpSocket without any further signal reaching us.
// Data already handed to it still goes out before it closes.
void Winsock::dropSocket() {
  closeDescriptor(watchDescriptor_);
  delete std::exchange(connector_, nullptr);  // an unfinished connect is given up
  if (!socket_) return;
  QTcpSocket* old = std::exchange(socket_, nullptr);
  old->disconnect(this);
  old->setParent(nullptr);
  connect(old, &QAbstractSocket::disconnected, old, &QObject::deleteLater);
  old->close();
  if (old->state() == QAbstractSocket::UnconnectedState) old->deleteLater();
}

// ---------------------------------------------------------- socket signals

// The connection stands; from here on QTcpSocket carries it.
void Winsock::onConnectorConnected(int descriptor) {
  std::exchange(connector_, nullptr)->deleteLater();  // we are inside its signal
  socket_ = new QTcpSocket(this);
  connect(socket_, &QIODevice::readyRead, this, &Winsock::onReadyRead);
  connect(socket_, &QAbstractSocket::errorOccurred, this, &Winsock::onErrorOccurred);
  connect(socket_, &QAbstractSocket::disconnected, this, &Winsock::onDisconnected);
  if (!socket_->setSocketDescriptor(descriptor, QAbstractSocket::ConnectedState)) {
    ::close(descriptor);
    state_ = sckError;
    raiseError(ErrorNumber(socket_->error()), socket_->errorString());
    return;
  }
  state_ = sckConnected;
  closeDescriptor(watchDescriptor_);
  watchDescriptor_ = ::dup(descriptor);
  enqueue(Event(Event::Kind::Connect));
}

void Winsock::onReadyRead() {
  if (!socket_->isOpen()) return;
  const QByteArray data = socket_->readAll();
  if (data.isEmpty()) return;
  received_ += data;
  if (EndsWithCompleteReply(received_))
    enqueue(Event(Event::Kind::DataArrival));
}

void Winsock::onErrorOccurred(QAbstractSocket::SocketError error) {
  if (error == QAbstractSocket::RemoteHostClosedError) {
    onServerClosed();
    return;
  }
  if (state_ == sckError || state_ == sckClosing) return;  // already reported
  state_ = sckError;
  raiseError(ErrorNumber(error), socket_->errorString());
}

void Winsock::onDisconnected() {
  // Normally reported through errorOccurred already; this catches a close
  // that came without it.
  if (state_ == sckConnected) onServerClosed();
}

void Winsock::onServerClosed() {
  if (state_ != sckConnected) return;
  // Data that came with the close is still delivered before it.
  onReadyRead();
  if (wasReset(watchDescriptor_)) {
    state_ = sckError;
    raiseError(WSAECONNRESET, QStringLiteral("Connection reset by peer"));
  } else {
    state_ = sckClosing;
    enqueue(Event(Event::Kind::Close));
  }
  closeDescriptor(watchDescriptor_);
}

void Winsock::classifyLookupFailure(const QString& host) {
  const quint64 connection = connection_;
  const QPointer<Winsock> self(this);
  QThreadPool::globalInstance()->start([self, connection, host] {
    const std::int16_t number = lookupFailureNumber(host);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, connection, number] {
          if (self && self->connection_ == connection)
            self->raiseError(number, number == WSANO_DATA
                                         ? QStringLiteral("Valid name, no data record of requested type")
                                         : QStringLiteral("Host not found"));
        },
        Qt::QueuedConnection);
  });
}
