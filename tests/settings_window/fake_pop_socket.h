#pragma once

#include "socket_control.h"

#include <QStringList>
#include <QTimer>

// A socket control with a scripted POP3 server behind it: a greeting on
// connecting, "+OK" to USER, the configured reply to PASS, "+OK" to QUIT.
// Every reply arrives later, through the event loop, as a real server's
// would; nothing of a connection arrives once it has been closed.
class FakePopSocket : public SocketControl {
 public:
  QString passReply = QStringLiteral("+OK logged in\r\n");

  QString host;
  int port = -1;
  int connects = 0;
  QStringList sent;

  void Connect(const QString& toHost, std::uint16_t toPort) override {
    host = toHost;
    port = toPort;
    ++connects;
    ++connection_;
    state_ = kConnecting;
    pending_.clear();
    reply(QStringLiteral("+OK POP3 server ready\r\n"));
  }
  void Close() override {
    ++connection_;
    state_ = kClosed;
    pending_.clear();
  }
  int State() const override { return state_; }
  void SendData(const QString& text) override {
    sent.append(text);
    if (text.startsWith(QLatin1String("USER "))) reply(QStringLiteral("+OK\r\n"));
    else if (text.startsWith(QLatin1String("PASS "))) reply(passReply);
    else if (text.startsWith(QLatin1String("QUIT"))) reply(QStringLiteral("+OK bye\r\n"));
  }
  void GetData(QString& data) override {
    data = pending_;
    pending_.clear();
  }

 private:
  static constexpr int kClosed = 0;
  static constexpr int kConnecting = 6;
  static constexpr int kConnected = 7;

  void reply(const QString& text) {
    const int connection = connection_;
    QTimer::singleShot(0, this, [this, connection, text] {
      if (connection != connection_ || state_ == kClosed) return;
      state_ = kConnected;
      pending_ += text;
      emit dataArrivalEvent(static_cast<std::int32_t>(text.size()));
    });
  }

  int connection_ = 0;
  int state_ = kClosed;
  QString pending_;
};
