#include "mail_transmission.h"

#include "mod_talvenor200.h"
#include "socket_control.h"

// The handlers live in files of their own: send_command.cpp (the send
// button), smtp_dialogue.cpp (SmtpStep), pop_dialogue.cpp (mtPBSMTP) and
// connection_events.cpp (the four socket events).

MailTransmission::MailTransmission(SocketControl& winsock, QObject* parent)
    : QObject(parent), winsock_(winsock) {
  connect(&winsock_, &SocketControl::connectEvent, this, &MailTransmission::Winsock_Connect);
  connect(&winsock_, &SocketControl::dataArrivalEvent, this, &MailTransmission::Winsock_DataArrival);
  connect(&winsock_, &SocketControl::closeEvent, this, &MailTransmission::Winsock_Close);
  connect(&winsock_, &SocketControl::errorEvent, this, &MailTransmission::Winsock_Error);
}

void MailTransmission::StartPopTest() {
  using namespace ModTalvenor200;
  if (winsock_.State() != 0) winsock_.Close();
  mState = 0;
  winsock_.Connect(gPServer, 110);
}
