#include "mail_text.h"
#include "mail_transmission.h"
#include "message_box.h"
#include "mod_talvenor200.h"
#include "socket_control.h"
#include "transmission_texts.h"

using namespace ModTalvenor200;
using namespace TransmissionTexts;

// One step of the SMTP dialogue, on each whole reply from the server.
//
//  state  waiting for          advances on     then                          new
//    0    greeting             any reply       RSET                           1
//    1    reply to RSET        any reply       HELO <host>                    2
//    2    reply to HELO        "250"           MAIL FROM; Date, From lines    3
//    3    reply to MAIL FROM   "250"           RCPT TO; TO line               4
//    4    reply to RCPT TO     "250"           DATA                           5
//    5    reply to DATA        "354"           rest of the mail text, "."     6
//    6    reply to the mail    "250"           QUIT                           7
//    7    reply to QUIT        "221"           nothing; the server closes     7
//   -1    (after an error reply)               close                          0
//
// A reply that begins with "5" or "4" ends the send with a message box; any
// other unexpected reply is ignored and the dialogue waits for the next.
void MailTransmission::SmtpStep() {
  winsock_.GetData(mReply);

  if (mReply.startsWith(QLatin1Char('5'))) {
    if (mReply.startsWith(QLatin1String("550"))) mReply += kCrLf + kCheckAddressHint;
    MessageBox::MsgBox(kSmtpError + kCrLf + mReply, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
    mState = -1;
  }
  if (mReply.startsWith(QLatin1Char('4'))) {
    MessageBox::MsgBox(kSmtpError + kCrLf + mReply, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
    mState = -1;
  }

  const auto replyIs = [this](const char* code) { return mReply.startsWith(QLatin1String(code)); };
  const auto send = [this](const QString& line) { winsock_.SendData(line + kCrLf); };

  if (mState == 0) {
    send(QStringLiteral("RSET"));
    mState = 1;
  } else if (mState == 1) {
    send(QStringLiteral("HELO ") + MailText::HeloDomain());
    mState = 2;
  } else if (replyIs("250") && mState == 2) {
    send(QStringLiteral("MAIL FROM:<") + gFrom + QLatin1Char('>'));
    mMessage = MailText::DateLine();  // the mail text begins anew here
    mMessage += MailText::FromLine(gFrom);
    mReply.clear();
    mState = 3;
  } else if (replyIs("250") && mState == 3) {
    send(QStringLiteral("RCPT TO:<") + mMailTo + QLatin1Char('>'));
    mMessage += MailText::ToLine(mMailTo);
    mReply.clear();
    mState = 4;
  } else if (replyIs("250") && mState == 4) {
    send(QStringLiteral("DATA"));
    mReply.clear();
    mState = 5;
  } else if (replyIs("354") && mState == 5) {
    mMessage += MailText::XMailerLine() + MailText::SubjectLine(mSubject) + kCrLf + mBody;
    winsock_.SendData(MailText::DataForWire(mMessage));
    mReply.clear();
    mState = 6;
  } else if (replyIs("250") && mState == 6) {
    send(QStringLiteral("QUIT"));
    mReply.clear();
    mState = 7;
  } else if (replyIs("221") && mState == 7) {
    // The send completes when the server closes the connection.
  } else if (mState == -1) {
    if (winsock_.State() != 0) {
      winsock_.Close();
      mState = 0;
    }
  }
}
