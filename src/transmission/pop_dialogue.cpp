#include "mail_transmission.h"
#include "message_box.h"
#include "mod_talvenor200.h"
#include "socket_control.h"
#include "transmission_texts.h"

using namespace ModTalvenor200;
using namespace TransmissionTexts;

// One step of the POP3 login that POP before SMTP needs, on each whole
// reply from the POP server.
//
//  state  advances on  then                                         new
//    0    "+OK"        USER <gUSER>                                  1
//    1    "+OK"        PASS <gPASS>                                  2
//    2    "+OK"        QUIT; SMTP phase on; a test ends here         110
//
// "-ERR" anywhere in a reply ends the login with a message box, before any
// "+OK" in the same reply is looked at. Other replies are ignored.
void MailTransmission::mtPBSMTP() {
  winsock_.GetData(mReply);

  if (mReply.contains(QLatin1String("-ERR"))) {
    MessageBox::MsgBox(kError + kCrLf + mReply + kCrLf + kCheckLoginHint, MessageBox::Buttons::Ok,
                       MessageBox::Icon::Exclamation);
    mState = 0;
    gSmtpPhase = false;
    gPopTest = false;
    mReply.clear();
    winsock_.Close();
    return;
  }

  const bool ok = mReply.contains(QLatin1String("+OK"));
  const auto send = [this](const QString& line) { winsock_.SendData(line + kCrLf); };

  if (ok && mState == 0) {
    send(QStringLiteral("USER ") + gUSER);
    mState = 1;
  } else if (ok && mState == 1) {
    send(QStringLiteral("PASS ") + gPASS);
    mState = 2;
  } else if (ok && mState == 2) {
    send(QStringLiteral("QUIT"));
    mState = 110;
    gSmtpPhase = true;
    if (gPopTest) {
      // The settings window's test ends here, without going on to SMTP.
      MessageBox::MsgBox(kPopTestSucceeded, MessageBox::Buttons::Ok, MessageBox::Icon::None, kPopTestTitle);
      gUSER.clear();
      gPASS.clear();
      gPServer.clear();
      gPopTest = false;
      gSmtpPhase = false;
      gPBSMTP = false;
      mState = 0;
      winsock_.Close();
    }
  }
}
