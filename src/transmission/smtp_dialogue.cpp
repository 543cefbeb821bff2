#include "smtp_dialogue.h"

#include "cp932.h"
#include "mail_text.h"
#include "mime_text.h"
#include "server_link.h"
#include "plain_text.h"


void SmtpDialogue::refuse(const SmtpReply& reply) {
  SendFailure failure{SendFailure::Kind::SmtpRefused};
  failure.serverText = lastReply_;
  failure.addressRefused = reply.code() == u"550";
  failures_.report(failure);
  server_.close();
  state_ = State::AwaitGreeting;
}

QByteArray SmtpDialogue::textFromXMailer(const OutgoingMail& mail, bool eightBit, MailSettings::Charset& sentIn) {
  sentIn = mail.charset;
  QByteArray text = Cp932::fromUnicode(MailText::XMailerLine());
  if (mail.charset == MailSettings::Charset::ShiftJis) {
    // No line longer than SMTP allows: a long paragraph is broken, not refused.
    return text + Cp932::fromUnicode(MailText::subjectLine(mail.subject) + kCrLf + MailText::breakLongLines(mail.body));
  }
  const MimeText::Composed composed =
      MimeText::compose(mail.subject, mail.body, mail.charset, eightBit, mail.from.section(QLatin1Char('@'), -1));
  sentIn = composed.charset;
  return text + composed.text;
}

QByteArray SmtpDialogue::wholeMailText(const OutgoingMail& mail, bool eightBit) {
  MailSettings::Charset sentIn;
  return Cp932::fromUnicode(MailText::dateLine() + MailText::fromLine(mail.from) + MailText::toLine(mail.recipient)) +
         textFromXMailer(mail, eightBit, sentIn);
}

void SmtpDialogue::sendMailFrom(const OutgoingMail& mail) {
  // UTF-8 goes unencoded to a server that takes 8-bit mail (RFC 6152).
  eightBit_ = mail.charset != MailSettings::Charset::ShiftJis &&
              setup_.extensions().contains(QStringLiteral("8BITMIME")) &&
              MimeText::goesAsEightBit(mail.subject, mail.body, mail.charset);
  server_.sendLine(QStringLiteral("MAIL FROM:<") + mail.from + QLatin1Char('>') +
                   (eightBit_ ? QStringLiteral(" BODY=8BITMIME") : QString()));
  // The mail text begins anew.
  mailText_ = Cp932::fromUnicode(MailText::dateLine() + MailText::fromLine(mail.from));
  state_ = State::AwaitMailFrom;
  lastReply_.clear();
}

void SmtpDialogue::negotiated(SmtpSessionSetup::Outcome outcome, const OutgoingMail& mail) {
  switch (outcome) {
    case SmtpSessionSetup::Outcome::Waiting:
      return;
    case SmtpSessionSetup::Outcome::Ready:
      sendMailFrom(mail);
      return;
    case SmtpSessionSetup::Outcome::Stopped:
      // The setup has closed the connection and said why.
      state_ = State::AwaitGreeting;
      return;
  }
}

void SmtpDialogue::tlsReady(OutgoingMail& mail) {
  if (state_ == State::Negotiating) negotiated(setup_.tlsReady(), mail);
}

void SmtpDialogue::step(const SmtpReply& reply, OutgoingMail& mail, bool encrypted) {
  lastReply_ = reply.text();
  if (state_ == State::Negotiating) {
    negotiated(setup_.step(reply, mail.login), mail);
    return;
  }
  // After the 250 to the end of the data the mail is the server's: a
  // refusal of QUIT changes nothing of that.
  if ((reply.isPermanentFailure() || reply.isTransientFailure()) && state_ != State::AwaitQuit) {
    refuse(reply);
    return;
  }
  // A step that moved the mail on leaves no server text behind.
  if ((this->*handlerOf(state_))(reply, mail, encrypted) == LastReply::Clear) lastReply_.clear();
}

// The table of the class comment, one handler per state.
SmtpDialogue::Handler SmtpDialogue::handlerOf(State state) {
  switch (state) {
    case State::AwaitGreeting: return &SmtpDialogue::onGreeting;
    case State::AwaitRset: return &SmtpDialogue::onRset;
    case State::AwaitHelo: return &SmtpDialogue::onHelo;
    case State::AwaitMailFrom: return &SmtpDialogue::onMailFrom;
    case State::AwaitRcptTo: return &SmtpDialogue::onRcptTo;
    case State::AwaitDataGoAhead: return &SmtpDialogue::onDataGoAhead;
    case State::AwaitDataAccepted: return &SmtpDialogue::onDataAccepted;
    // On 221 or anything else: the send completes when the server closes.
    case State::AwaitQuit: return &SmtpDialogue::ignoreReply;
    // The session setup takes these replies.
    case State::Negotiating: return &SmtpDialogue::ignoreReply;
  }
  return &SmtpDialogue::ignoreReply;
}

SmtpDialogue::LastReply SmtpDialogue::onGreeting(const SmtpReply&, OutgoingMail& mail, bool encrypted) {
  if (mail.login.extended()) {
    setup_.begin(encrypted);
    state_ = State::Negotiating;
    return LastReply::Keep;
  }
  server_.sendLine(QStringLiteral("RSET"));
  state_ = State::AwaitRset;
  return LastReply::Keep;
}

SmtpDialogue::LastReply SmtpDialogue::onRset(const SmtpReply&, OutgoingMail&, bool) {
  server_.sendLine(QStringLiteral("HELO ") + MailText::heloDomain());
  state_ = State::AwaitHelo;
  return LastReply::Keep;
}

SmtpDialogue::LastReply SmtpDialogue::onHelo(const SmtpReply& reply, OutgoingMail& mail, bool) {
  if (reply.code() == u"250") sendMailFrom(mail);
  return LastReply::Keep;
}

SmtpDialogue::LastReply SmtpDialogue::onMailFrom(const SmtpReply& reply, OutgoingMail& mail, bool) {
  if (reply.code() != u"250") return LastReply::Keep;
  server_.sendLine(QStringLiteral("RCPT TO:<") + mail.recipient + QLatin1Char('>'));
  mailText_ += Cp932::fromUnicode(MailText::toLine(mail.recipient));
  state_ = State::AwaitRcptTo;
  return LastReply::Clear;
}

SmtpDialogue::LastReply SmtpDialogue::onRcptTo(const SmtpReply& reply, OutgoingMail&, bool) {
  if (reply.code() != u"250") return LastReply::Keep;
  server_.sendLine(QStringLiteral("DATA"));
  state_ = State::AwaitDataGoAhead;
  return LastReply::Clear;
}

SmtpDialogue::LastReply SmtpDialogue::onDataGoAhead(const SmtpReply& reply, OutgoingMail& mail, bool) {
  if (reply.code() != u"354") return LastReply::Keep;
  MailSettings::Charset sentIn = mail.charset;
  mailText_ += textFromXMailer(mail, eightBit_, sentIn);
  server_.sendBytes(MailText::dataForWire(mailText_), sentIn);
  state_ = State::AwaitDataAccepted;
  return LastReply::Clear;
}

SmtpDialogue::LastReply SmtpDialogue::onDataAccepted(const SmtpReply& reply, OutgoingMail&, bool) {
  if (reply.code() != u"250") return LastReply::Keep;
  server_.sendLine(QStringLiteral("QUIT"));
  state_ = State::AwaitQuit;
  return LastReply::Clear;
}

SmtpDialogue::LastReply SmtpDialogue::ignoreReply(const SmtpReply&, OutgoingMail&, bool) { return LastReply::Keep; }
