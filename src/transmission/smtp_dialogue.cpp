#include "smtp_dialogue.h"

#include "mail_text.h"
#include "message_box.h"
#include "server_link.h"
#include "transmission_texts.h"

using namespace TransmissionTexts;

void SmtpDialogue::refuse(const SmtpReply& reply) {
  if (reply.code() == u"550") lastReply_ += kCrLf + kCheckAddressHint;
  MessageBox::MsgBox(kSmtpError + kCrLf + lastReply_, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
  state_ = State::Failed;
}

void SmtpDialogue::step(const SmtpReply& reply, const OutgoingMail& mail) {
  lastReply_ = reply.text();
  if (reply.isPermanentFailure() || reply.isTransientFailure()) refuse(reply);

  switch (state_) {
    case State::AwaitGreeting:
      server_.sendLine(QStringLiteral("RSET"));
      state_ = State::AwaitRset;
      return;
    case State::AwaitRset:
      server_.sendLine(QStringLiteral("HELO ") + MailText::HeloDomain());
      state_ = State::AwaitHelo;
      return;
    case State::AwaitHelo:
      if (reply.code() != u"250") return;
      server_.sendLine(QStringLiteral("MAIL FROM:<") + mail.from + QLatin1Char('>'));
      mailText_ = MailText::DateLine() + MailText::FromLine(mail.from);  // the mail text begins anew
      state_ = State::AwaitMailFrom;
      break;
    case State::AwaitMailFrom:
      if (reply.code() != u"250") return;
      server_.sendLine(QStringLiteral("RCPT TO:<") + mail.recipient + QLatin1Char('>'));
      mailText_ += MailText::ToLine(mail.recipient);
      state_ = State::AwaitRcptTo;
      break;
    case State::AwaitRcptTo:
      if (reply.code() != u"250") return;
      server_.sendLine(QStringLiteral("DATA"));
      state_ = State::AwaitDataGoAhead;
      break;
    case State::AwaitDataGoAhead:
      if (reply.code() != u"354") return;
      mailText_ += MailText::XMailerLine() + MailText::SubjectLine(mail.subject) + kCrLf + mail.body;
      server_.sendText(MailText::DataForWire(mailText_));
      state_ = State::AwaitDataAccepted;
      break;
    case State::AwaitDataAccepted:
      if (reply.code() != u"250") return;
      server_.sendLine(QStringLiteral("QUIT"));
      state_ = State::AwaitQuit;
      break;
    case State::AwaitQuit:
      // On 221 or anything else: the send completes when the server closes.
      return;
    case State::Failed:
      server_.close();
      state_ = State::AwaitGreeting;
      return;
  }
  // A step that moved the mail on leaves no server text behind.
  lastReply_.clear();
}
