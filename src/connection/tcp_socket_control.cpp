#include "tcp_socket_control.h"

#include "tcp_connector.h"
#include "tcp_stream.h"
#include "tls_stream.h"
#include "connection_errors.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>
#include <QScopedValueRollback>
#include <algorithm>
#include <limits>
#include <utility>

namespace {

using namespace WsaError;

}  // namespace

TcpSocketControl::TcpSocketControl(QObject* parent) : SocketControl(parent) {}

TcpSocketControl::~TcpSocketControl() {
  queue_.clear();
  dropSocket();
}

// ---------------------------------------------------------------- operations

void TcpSocketControl::connectToHost(const QString& host, std::uint16_t port) { open(host, port, false); }

void TcpSocketControl::connectToHostEncrypted(const QString& host, std::uint16_t port) { open(host, port, true); }

// The connector may report at once (a literal address on this machine), so
// everything the report needs is set before it starts.
void TcpSocketControl::open(const QString& host, std::uint16_t port, bool tlsFromStart) {
  const QScopedValueRollback<bool> operating(operating_, true);
  // A new connection starts clean: nothing of the previous one remains.
  dropSocket();
  queue_.clear();
  received_.clear();
  host_ = host;
  tlsFromStart_ = tlsFromStart;

  // As on Windows, the unspecified address and port 0 cannot be connected to.
  const QHostAddress literal(host);
  if (port == 0 || literal == QHostAddress(QHostAddress::AnyIPv4) ||
      literal == QHostAddress(QHostAddress::AnyIPv6)) {
    state_ = State::Failed;
    raiseError(WSAEADDRNOTAVAIL, QStringLiteral("The requested address is not valid in its context"));
    return;
  }

  state_ = State::HostLookup;
  connector_ = new TcpConnector(this);
  connect(connector_, &TcpConnector::connecting, this, [this] { state_ = State::Connecting; });
  connect(connector_, &TcpConnector::connected, this, &TcpSocketControl::onConnectorConnected);
  connect(connector_, &TcpConnector::failed, this, [this](std::int16_t number, const QString& description) {
    std::exchange(connector_, nullptr)->dispose();  // we are inside its signal
    state_ = State::Failed;
    raiseError(number, description);
  });
  connector_->start(host, port);
}

void TcpSocketControl::close() {
  // Nothing more of this connection reaches the handlers.
  dropSocket();
  queue_.clear();
  received_.clear();
  state_ = State::Closed;
}

void TcpSocketControl::startTls() {
  auto* plain = qobject_cast<TcpStream*>(stream_);
  if (plain == nullptr || state_ != State::Connected) return;
  const QScopedValueRollback<bool> operating(operating_, true);
  // What the server sent before the handshake belongs to the plain part.
  received_.clear();
  const int descriptor = plain->takeDescriptor();
  stream_ = nullptr;
  plain->release();
  encrypt(descriptor, Event::Kind::TlsReady);
}

SocketControl::State TcpSocketControl::state() const { return state_; }

void TcpSocketControl::write(const QByteArray& bytes) {
  if (!stream_ || state_ != State::Connected) return;
  stream_->send(bytes);
}

QByteArray TcpSocketControl::readAll() {
  QByteArray taken = std::exchange(received_, QByteArray());
  if (stream_) stream_->setReadLimit(kMaxUnread);
  return taken;
}

// ------------------------------------------------------------- event queue

// What the connection reports is delivered at once when no handler is
// running (this is the socket's own turn of the event loop). Anything raised
// inside an operation waits for the loop, so that the code after connectToHost or
// close() in the caller runs before the handler.
void TcpSocketControl::enqueue(Event event) {
  queue_.push_back(std::move(event));
  if (delivering_) return;
  if (!operating_) {
    deliverEvents();
    return;
  }
  if (deliveryPosted_) return;
  deliveryPosted_ = true;
  QMetaObject::invokeMethod(this, &TcpSocketControl::deliverEvents, Qt::QueuedConnection);
}

// Delivers the queued events in order, each only after the handler of the
// one before has returned. A handler that opens a modal box runs a nested
// event loop; a delivery posted meanwhile finds delivering_ set and leaves
// the events to this loop.
void TcpSocketControl::deliverEvents() {
  deliveryPosted_ = false;
  if (delivering_) return;
  delivering_ = true;
  const QPointer<TcpSocketControl> self(this);
  while (!queue_.empty()) {
    const Event event = std::move(queue_.front());
    queue_.pop_front();
    switch (event.kind) {
      case Event::Kind::Connected:
        emit connected();
        break;
      case Event::Kind::BytesArrived:
        // An earlier handler may have taken this data already.
        if (received_.isEmpty()) break;
        emit bytesArrived(static_cast<std::int32_t>(received_.size()));
        if (self) readPastWhatIsLeft();
        break;
      case Event::Kind::ClosedByPeer:
        emit closedByPeer();
        break;
      case Event::Kind::TlsReady:
        emit tlsReady();
        break;
      case Event::Kind::Error:
        emit errorOccurred(event.number, event.description);
        break;
    }
    if (!self) return;
  }
  delivering_ = false;
}

void TcpSocketControl::raiseError(std::int16_t number, const QString& description) {
  enqueue(Event(Event::Kind::Error, number, description));
}

// Lets go of the current connection without any further signal reaching
// us. Data already handed to it still goes out before it closes.
void TcpSocketControl::dropSocket() {
  // An unfinished connect is given up.
  if (connector_) std::exchange(connector_, nullptr)->dispose();
  if (!stream_) return;
  ByteStream* old = std::exchange(stream_, nullptr);
  old->disconnect(this);
  old->setParent(nullptr);
  old->release();
}

// ------------------------------------------------------- connection signals

void TcpSocketControl::onConnectorConnected(int descriptor) {
  std::exchange(connector_, nullptr)->dispose();  // we are inside its signal
  state_ = State::Connected;
  if (tlsFromStart_) {
    encrypt(descriptor, Event::Kind::Connected);
    return;
  }
  takeStream(new TcpStream(descriptor, this));
  enqueue(Event(Event::Kind::Connected));
}

// The connection goes on encrypted; the event comes once the server's
// certificate verified for the name connected to, and a failure ends the
// connection with an error.
void TcpSocketControl::encrypt(int descriptor, Event::Kind whenVerified) {
  auto* tls = new TlsStream(descriptor, host_, this);
  takeStream(tls);
  connect(tls, &TlsStream::encrypted, this, [this, whenVerified] { enqueue(Event(whenVerified)); });
  connect(tls, &TlsStream::failed, this, [this](std::int16_t number, const QString& reason) {
    if (state_ != State::Connected) return;
    state_ = State::Failed;
    raiseError(number, reason);
  });
}

void TcpSocketControl::takeStream(ByteStream* stream) {
  stream_ = stream;
  connect(stream_, &ByteStream::received, this, &TcpSocketControl::onReceived);
  connect(stream_, &ByteStream::ended, this, &TcpSocketControl::onEnded);
  stream_->setReadLimit(kMaxUnread - received_.size());
}

// A handler that had its arrival and left the bytes, with no later arrival
// waiting, does not want them (the answer to POP's QUIT is one): the
// connection is read on so that its end is seen, and what would go beyond
// the bound is dropped. Taking the bytes holds the server back again.
void TcpSocketControl::readPastWhatIsLeft() {
  if (!stream_ || received_.size() < kMaxUnread) return;
  if (std::any_of(queue_.begin(), queue_.end(),
                  [](const Event& event) { return event.kind == Event::Kind::BytesArrived; }))
    return;
  stream_->setReadLimit(std::numeric_limits<qsizetype>::max());
}

void TcpSocketControl::onReceived(const QByteArray& bytes) {
  const qsizetype room = kMaxUnread - received_.size();
  if (room <= 0) return;  // dropped: see readPastWhatIsLeft
  received_ += bytes.first(std::min(room, bytes.size()));
  // One arrival waiting is enough: it hands over every byte received.
  if (!queue_.empty() && queue_.back().kind == Event::Kind::BytesArrived) return;
  enqueue(Event(Event::Kind::BytesArrived));
}

// The data that came before the end has been passed on already, so its
// arrival is delivered before the close or the error.
void TcpSocketControl::onEnded(int errnum) {
  if (state_ != State::Connected) return;
  if (errnum == 0) {
    state_ = State::ClosedByPeer;
    enqueue(Event(Event::Kind::ClosedByPeer));
    return;
  }
  state_ = State::Failed;
  raiseError(TcpConnector::ErrorNumber(errnum), qt_error_string(errnum));
}
