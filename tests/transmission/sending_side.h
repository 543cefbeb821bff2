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

// Both dialogues back at their first state, as after every ending.
inline bool atStart(const MailTransmission& mail) {
  return mail.smtpState() == SmtpDialogue::State::AwaitGreeting &&
         mail.popState() == PopLogin::State::AwaitGreeting;
}

// The settings window's POP test with the running POP values: onSucceeded
// runs after the success box, as the settings window's own handler does.
inline void testPopLogin(SendBoxes& boxes, std::function<void()> onSucceeded) {
  QObject::connect(&boxes, &SendBoxes::popTestSucceeded, &boxes, std::move(onSucceeded), Qt::SingleShotConnection);
  boxes.testPopLogin();
}

struct SendingSide {
  TempAppFolder folder;
  ScriptedMessageBoxes boxes;
  MailSettings settings = localServers();
  TcpSocketControl socket;
  // Connected before the handlers, so it counts an arrival as it is raised.
  QSignalSpy arrivals{&socket, &SocketControl::bytesArrived};
  MailTransmission mail{socket};
  SendBoxes sendBoxes{mail, settings, passwordsInUse()};

  // Bytes the program holds and has not yet taken as a reply.
  qsizetype unreadBytes() const { return socket.bytesAvailable() + mail.unreadReplyBytes(); }
};

}  // namespace SendingTest
