#include "mail_transmission.h"
#include "message_box.h"
#include "mod_talvenor200.h"
#include "socket_control.h"
#include "transmission_texts.h"
#include "write_log.h"

using namespace ModTalvenor200;
using namespace TransmissionTexts;

namespace {

QString socketErrorText(std::int16_t number) {
  switch (number) {
    case 10049: return kAddressNotAvailable;
    case 10060: return kTimedOut;
    case 10061: return kRefused;
    case 11001: return kHostNotFound;
    case 11004: return kNoDataRecord;
    default: return kOtherSocketError;
  }
}

}  // namespace

void MailTransmission::Winsock_Connect() {
  // The dialogues start with the server's first reply, not here.
}

// Routes a whole reply to the dialogue that is current.
void MailTransmission::Winsock_DataArrival(std::int32_t /*bytesTotal*/) {
  if (mState == 110 && gSmtpPhase) return;  // the POP server's answer to QUIT
  if (gSmtpPhase) {
    SmtpStep();
  } else if (gPBSMTP) {
    mtPBSMTP();
  }
}

// The server has closed the connection.
//
//  mState             what the close means
//   -1                an error reply was seen: show the server's text
//   110               the POP login is done: connect to the SMTP server
//   7 (SMTP phase)    the mail was accepted and QUIT sent: the send is complete
//   any other         during a POP test: the test ends without a result;
//                     otherwise the server gave up before the mail was
//                     accepted: show the server's last text, log nothing
void MailTransmission::Winsock_Close() {
  winsock_.Close();

  const auto showError = [this] {
    MessageBox::MsgBox(kError + kCrLf + mReply, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
  };

  if (mState == -1) {
    showError();
  } else if (mState == 110) {
    if (!gPopTest) winsock_.Connect(gServer, 25);
  } else if (gPopTest) {
    gPopTest = false;
  } else if (gSmtpPhase && mState == 7) {
    if (gOUTLOG) MailLog::WriteLog(mMessage, mSubject);
    mMessage.clear();
    const auto answer = MessageBox::MsgBox(kSendCompleted + kCrLf + kCrLf + kClearQuestion,
                                           MessageBox::Buttons::YesNo, MessageBox::Icon::Question);
    if (answer == MessageBox::Answer::Yes) {
      if (clearSubjectBox) clearSubjectBox();
      mSubject.clear();
      if (clearBodyBox) clearBodyBox();
      mBody.clear();
    }
  } else {
    showError();
  }

  mState = 0;
}

// A name lookup, connection or transfer failed.
void MailTransmission::Winsock_Error(std::int16_t number, const QString& /*description*/) {
  MessageBox::MsgBox(socketErrorText(number) + kCrLf + kCrLf + kCheckServerHint + kCrLf + kServerStoppedHint +
                         kErrorCodeOpen + QString::number(number) + kErrorCodeClose,
                     MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, kSocketErrorTitle);
  winsock_.Close();
  mState = 0;
  gPopTest = false;
}
