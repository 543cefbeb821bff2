#include "mail_text.h"
#include "mail_transmission.h"
#include "message_box.h"
#include "mod_talvenor200.h"
#include "socket_control.h"
#include "transmission_texts.h"

using namespace ModTalvenor200;
using namespace TransmissionTexts;

namespace {

// Only the space character counts as a blank here.
bool isBlank(const QString& text) {
  for (const QChar c : text)
    if (c != QLatin1Char(' ')) return false;
  return true;
}

}  // namespace

// The send button: check both addresses, confirm, capture the texts and open
// the connection the send begins with. Everything after that is driven by
// the socket events.
void MailTransmission::CmdMail_Click(const QString& cmbToText, const QString& subjectText,
                                     const QString& bodyText) {
  // 1-3. The addresses.
  if (isBlank(cmbToText)) return;
  if (!MailText::IsValidAddress(cmbToText)) {
    MessageBox::MsgBox(kInvalidRecipient + kCrLf + cmbToText);
    return;
  }
  if (!MailText::IsValidAddress(gFrom)) {
    MessageBox::MsgBox(kInvalidSender + kCrLf + gFrom);
    return;
  }

  // 4-5. Confirmation.
  QString confirmation = kConfirmQuestion + kCrLf + kCrLf + kConfirmTo + cmbToText + kCrLf + kCrLf +
                         kConfirmFrom + gFrom + kCrLf;
  if (gPBSMTP) confirmation += kCrLf + kCrLf + kConfirmPopBeforeSmtp;
  if (MessageBox::MsgBox(confirmation, MessageBox::Buttons::OkCancel, MessageBox::Icon::Question,
                         kConfirmTitle, MessageBox::Answer::Ok) != MessageBox::Answer::Ok)
    return;

  // 6-8. Capture the texts of this moment.
  mSubject = MailText::SubjectWithoutLineBreaks(subjectText);
  mBody = bodyText;
  mMailTo = cmbToText;

  // 9. A send already under way is given up.
  if (winsock_.State() != 0) winsock_.Close();
  mState = 0;

  // 10. POP login first when POP before SMTP is on and not yet done in this run.
  if (gPBSMTP && !gSmtpPhase) {
    winsock_.Connect(gPServer, 110);
  } else {
    gSmtpPhase = true;
    winsock_.Connect(gServer, 25);
  }
}
