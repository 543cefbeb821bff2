#include "scripted_server.h"

#include "cp932.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

ScriptedServer::ScriptedServer(QStringList script, QObject* parent)
    : QObject(parent), script_(std::move(script)) {
  connect(&server_, &QTcpServer::newConnection, this, &ScriptedServer::onNewConnection);
  server_.listen(QHostAddress::LocalHost, 0);
}

ScriptedServer::~ScriptedServer() = default;

bool ScriptedServer::finished() const {
  return failure_.isEmpty() && next_ == script_.size() && openConnections_ == 0 && pending_.isEmpty();
}

void ScriptedServer::onNewConnection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    socket->setParent(this);
    ++connections_;
    ++openConnections_;
    connect(socket, &QIODevice::readyRead, this, [this, socket] { onReadyRead(socket); });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
    if (peer_ && next_ < script_.size() && script_.at(next_).startsWith(QLatin1String("A:"))) {
      peer_ = nullptr;  // the client gave up the old connection for this one
      ++next_;
    }
    if (peer_) fail(QStringLiteral("a second connection while the first is open"));
    if (!pending_.isEmpty()) fail(QStringLiteral("the client sent more than the script expects"));
    peer_ = socket;
    pending_.clear();
    sentOnConnection_ = 0;
    arrivalsAtCommand_ = clientArrivals ? clientArrivals() : 0;
  }
  play();
}

void ScriptedServer::onReadyRead(QTcpSocket* socket) {
  const QByteArray data = socket->readAll();
  received_ += data;
  if (socket == peer_) pending_ += data;
  play();
}

void ScriptedServer::onDisconnected(QTcpSocket* socket) {
  if (socket->bytesAvailable() > 0) onReadyRead(socket);
  --openConnections_;
  if (socket == peer_) peer_ = nullptr;
  socket->deleteLater();
  play();
}

bool ScriptedServer::takeLine(QByteArray& line) {
  const qsizetype end = pending_.indexOf("\r\n");
  if (end < 0) return false;
  line = pending_.left(end);
  pending_.remove(0, end + 2);
  return true;
}

void ScriptedServer::fail(const QString& why) {
  if (failure_.isEmpty())
    failure_ = QStringLiteral("row %1 (%2): %3").arg(next_).arg(script_.value(next_), why);
}

// The waits of "W:" and "D:" look again shortly, so that the client runs
// meanwhile (its handlers may be inside a message box of their own).
void ScriptedServer::pollLater() { QTimer::singleShot(1, this, &ScriptedServer::play); }

void ScriptedServer::play() {
  while (failure_.isEmpty() && next_ < script_.size()) {
    const QString row = script_.at(next_);
    const QString kind = row.left(2);
    const QString text = row.mid(3);
    if (kind == QLatin1String("A:")) {
      if (peer_) break;  // until the client closes (or opens the next one)
      ++next_;
      continue;
    }
    if (kind == QLatin1String("K:")) {
      pending_.clear();
      if (!peer_) {
        ++next_;
        continue;
      }
      if (!keepPosted_) {
        peer_->write(Cp932::fromUnicode(text) + "\r\n");
        keepPosted_ = true;
        QTimer::singleShot(3, this, [this] {
          keepPosted_ = false;
          play();
        });
      }
      break;
    }
    if (!peer_) break;  // until the next connection

    if (kind == QLatin1String("S:") || kind == QLatin1String("P:") || kind == QLatin1String("B:")) {
      QByteArray bytes = kind == QLatin1String("B:") ? QByteArray::fromHex(text.toLatin1())
                                                     : Cp932::fromUnicode(text);
      if (kind == QLatin1String("S:")) bytes += "\r\n";
      peer_->write(bytes);
      peer_->flush();
      sentOnConnection_ += bytes.size();
    } else if (kind == QLatin1String("W:")) {
      // Until the client has all of it (a client that acted on a partial
      // reply has sent a line the next "C" row does not expect).
      if (clientReceived() != sentOnConnection_) {
        pollLater();
        break;
      }
    } else if (kind == QLatin1String("D:")) {
      if (clientArrivals() <= arrivalsAtCommand_) {
        pollLater();
        break;
      }
      arrivalsAtCommand_ = clientArrivals();
    } else if (kind == QLatin1String("C:") || kind == QLatin1String("C~")) {
      QByteArray line;
      if (!takeLine(line)) break;  // wait for more from the client
      const QString got = Cp932::toUnicode(line);
      const bool match = kind == QLatin1String("C:")
                             ? got == text
                             : QRegularExpression(text).match(got).hasMatch();
      if (!match) {
        fail(QStringLiteral("the client sent \"%1\"").arg(got));
        break;
      }
      arrivalsAtCommand_ = clientArrivals ? clientArrivals() : 0;
    } else if (kind == QLatin1String("X:")) {
      // Half-close, so the client's late lines reach us instead of a reset.
      peer_->flush();
      ::shutdown(static_cast<int>(peer_->socketDescriptor()), SHUT_WR);
      peer_ = nullptr;
    } else if (kind == QLatin1String("R:")) {
      const linger hard{1, 0};
      ::setsockopt(static_cast<int>(peer_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      QTcpSocket* socket = std::exchange(peer_, nullptr);
      --openConnections_;
      socket->disconnect(this);
      socket->abort();
      socket->deleteLater();
    } else {
      fail(QStringLiteral("unknown row"));
      break;
    }
    ++next_;
  }
}
