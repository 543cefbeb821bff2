#pragma once

#include "socket_control.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <utility>

// A socket control without a network, for the window tests and the fuzz
// target: it counts what the program asks of it, keeps what the program
// sends, and raises the events the caller asks for, only while a
// connection is open.
class FakeSocket : public SocketControl {
 public:
  void connectToHost(const QString& host, std::uint16_t port) override {
    ++connects;
    lastHost = host;
    lastPort = port;
    phase = connectsAtOnce ? State::Connected : State::Connecting;
    encryptedFromStart = false;
    received_.clear();
    sent.clear();
    takenSinceLineBreak = 0;
  }
  void connectToHostEncrypted(const QString& host, std::uint16_t port) override {
    connectToHost(host, port);
    encryptedFromStart = true;
  }
  void startTls() override {
    ++tlsStarts;
    takenSinceLineBreak = 0;
  }
  void close() override {
    ++closes;
    phase = State::Closed;
    received_.clear();
    takenSinceLineBreak = 0;
  }
  State state() const override { return phase; }
  void write(const QByteArray& bytes) override {
    if (phase == State::Connected) sent += bytes;
  }
  QByteArray readAll() override {
    QByteArray bytes = std::exchange(received_, QByteArray());
    const qsizetype lineEnd = bytes.lastIndexOf('\n');
    takenSinceLineBreak = lineEnd < 0 ? takenSinceLineBreak + bytes.size() : bytes.size() - lineEnd - 1;
    return bytes;
  }

  // The server's side.
  void arrive(const QByteArray& bytes) {
    if (phase != State::Connected) return;
    received_ += bytes;
    emit bytesArrived(std::int32_t(received_.size()));
  }
  void serverCloses() {
    if (phase != State::Connected) return;
    phase = State::ClosedByPeer;
    emit closedByPeer();
  }
  // The handshake that startTls() began has verified the server.
  void verifiesServer() {
    if (phase == State::Connected) emit tlsReady();
  }
  void fails(std::int16_t number = 10054) {
    if (phase == State::Closed) return;
    phase = State::Failed;
    emit errorOccurred(number, QStringLiteral("Connection reset by peer"));
  }

  // False: a connectToHost stays pending (the window tests never send).
  bool connectsAtOnce = false;
  State phase = State::Closed;
  int connects = 0;
  int closes = 0;
  int tlsStarts = 0;
  bool encryptedFromStart = false;
  QString lastHost;
  std::uint16_t lastPort = 0;
  QByteArray sent;  // on the connection open now
  // Bytes the program has read since the last line break it read on this
  // connection (before a STARTTLS): a part of a reply it holds.
  qsizetype takenSinceLineBreak = 0;

 private:
  QByteArray received_;
};
