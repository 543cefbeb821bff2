#pragma once

// The program's side of a send against scripted servers: a program folder
// of its own, scripted boxes, the real socket control and the transmission,
// with the program-wide values of a plain send to servers on 127.0.0.1.

#include "mail_transmission.h"
#include "mod_talvenor200.h"
#include "scripted_message_boxes.h"
#include "temp_app_folder.h"
#include "winsock.h"

#include <QSignalSpy>
#include <QString>

namespace SendingTest {

inline const QString kFrom = QStringLiteral("taro@example.jp");
inline const QString kTo = QStringLiteral("hanako@example.jp");

// SMTP and POP on 127.0.0.1 as taro; everything else as the program starts.
inline void useLocalServers() {
  using namespace ModTalvenor200;
  resetForTesting();
  gFrom = kFrom;
  gServer = QStringLiteral("127.0.0.1");
  gPServer = QStringLiteral("127.0.0.1");
  gUSER = QStringLiteral("taro");
  gPASS = QStringLiteral("secret");
}

struct SendingSide {
  ~SendingSide() { Winsock::setPortOverrideForTesting({}); }

  TempAppFolder folder;
  ScriptedMessageBoxes boxes;
  Winsock winsock;
  // Connected before the handlers, so it counts an arrival as it is raised.
  QSignalSpy arrivals{&winsock, &SocketControl::dataArrivalEvent};
  MailTransmission mail{winsock};
};

}  // namespace SendingTest
