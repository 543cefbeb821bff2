#pragma once

// The program's side of a send against scripted servers: a program folder
// of its own, scripted boxes, the real socket control and the transmission,
// with the settings of a plain send to servers on 127.0.0.1.

#include "mail_settings.h"
#include "mail_transmission.h"
#include "keyring_of_the_build.h"
#include "scripted_message_boxes.h"
#include "send_boxes.h"
#include "temp_app_folder.h"
#include "tcp_socket_control.h"

#include <QSignalSpy>
#include <QString>
#include <functional>
#include <utility>

namespace SendingTest {

inline const QString kFrom = QStringLiteral("taro@example.jp");
inline const QString kTo = QStringLiteral("hanako@example.jp");

// SMTP and POP on 127.0.0.1 as taro; everything else as a fresh Data.ini.
inline MailSettings localServers() {
  MailSettings settings;
  settings.from = kFrom;
  settings.smtpServer = QStringLiteral("127.0.0.1");
  settings.popServer = QStringLiteral("127.0.0.1");
  settings.popUser = QStringLiteral("taro");
  settings.popPassword = QStringLiteral("secret");
  return settings;
}

// The real socket control, counting the bytes received on the connection
// open now: those the program has read and those still waiting.
class CountingSocket : public TcpSocketControl {
 public:
  void connectToHost(const QString& host, std::uint16_t port) override {
    read_ = 0;
    TcpSocketControl::connectToHost(host, port);
  }
  void connectToHostEncrypted(const QString& host, std::uint16_t port) override {
    read_ = 0;
    TcpSocketControl::connectToHostEncrypted(host, port);
  }
  QByteArray readAll() override {
    QByteArray bytes = TcpSocketControl::readAll();
    read_ += bytes.size();
    return bytes;
  }
  qsizetype received() const { return read_ + bytesAvailable(); }

 private:
  qsizetype read_ = 0;
};

// The settings window's POP test with the running POP values: onSucceeded
// runs after the success box, as the settings window's own handler does.
inline void testPopLogin(SendBoxes& boxes, std::function<void()> onSucceeded) {
  QObject::connect(&boxes, &SendBoxes::popTestSucceeded, &boxes, std::move(onSucceeded), Qt::SingleShotConnection);
  boxes.testPopLogin();
}

// Nothing under way, as after every ending: no connection open, the engine
// idle (the next send starts with a new connection).
inline bool idle(const SocketControl& socket, const MailTransmission& mail) {
  return !socket.isOpen() && !mail.busy();
}

// A next send with POP before SMTP on would go straight to SMTP: this run
// has logged in to POP (or gone to SMTP) since the last POP failure or test.
inline bool goesStraightToSmtp(const MailTransmission& mail, MailSettings settings) {
  settings.popBeforeSmtp = true;
  return !mail.logsInToPopFirst(settings);
}

struct SendingSide {
  TempAppFolder folder;
  ScriptedMessageBoxes boxes;
  MailSettings settings = localServers();
  CountingSocket socket;
  // Connected before the handlers, so it counts an arrival as it is raised.
  QSignalSpy arrivals{&socket, &SocketControl::bytesArrived};
  MailTransmission mail{socket};
  SendBoxes sendBoxes{mail, settings, passwordsInUse()};

  bool idle() const { return SendingTest::idle(socket, mail); }
  bool goesStraightToSmtp() const { return SendingTest::goesStraightToSmtp(mail, settings); }
};

}  // namespace SendingTest
