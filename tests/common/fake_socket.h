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
  // The values State() gives, numbered as the real socket control numbers them.
  enum class Phase : int { Closed = 0, Connecting = 6, Connected = 7, ServerClosed = 8, Failed = 9 };

  void Connect(const QString& host, std::uint16_t port) override {
    ++connects;
    lastHost = host;
    lastPort = port;
    phase = connectsAtOnce ? Phase::Connected : Phase::Connecting;
    encryptedFromStart = false;
    received_.clear();
    sent.clear();
  }
  void ConnectTls(const QString& host, std::uint16_t port) override {
    Connect(host, port);
    encryptedFromStart = true;
  }
  void StartTls() override { ++tlsStarts; }
  void Close() override {
    ++closes;
    phase = Phase::Closed;
    received_.clear();
  }
  int State() const override { return static_cast<int>(phase); }
  void SendData(const QByteArray& bytes) override {
    if (phase == Phase::Connected) sent += bytes;
  }
  QByteArray GetData() override { return std::exchange(received_, QByteArray()); }

  // The server's side.
  void arrive(const QByteArray& bytes) {
    if (phase != Phase::Connected) return;
    received_ += bytes;
    emit dataArrivalEvent(std::int32_t(received_.size()));
  }
  void serverCloses() {
    if (phase != Phase::Connected) return;
    phase = Phase::ServerClosed;
    emit closeEvent();
  }
  // The handshake that StartTls began has verified the server.
  void tlsReady() {
    if (phase == Phase::Connected) emit tlsReadyEvent();
  }
  void fails(std::int16_t number = 10054) {
    if (phase == Phase::Closed) return;
    phase = Phase::Failed;
    emit errorEvent(number, QStringLiteral("Connection reset by peer"));
  }

  // False: a Connect stays pending (the window tests never send).
  bool connectsAtOnce = false;
  Phase phase = Phase::Closed;
  int connects = 0;
  int closes = 0;
  int tlsStarts = 0;
  bool encryptedFromStart = false;
  QString lastHost;
  std::uint16_t lastPort = 0;
  QByteArray sent;  // on the connection open now

 private:
  QByteArray received_;
};
