#pragma once

#include "outgoing_mail.h"
#include "reply_reader.h"
#include "smtp_session_setup.h"

#include <QString>
#include <cstdint>

class ServerLink;

// The client side of one SMTP dialogue, one step per whole reply:
//
//  waiting for            advances on   then                            next
//  AwaitGreeting          any reply     RSET                            AwaitRset
//  AwaitRset              any reply     HELO <host>                     AwaitHelo
//  AwaitHelo              250           MAIL FROM; Date, From lines     AwaitMailFrom
//  AwaitMailFrom          250           RCPT TO; TO line                AwaitRcptTo
//  AwaitRcptTo            250           DATA                            AwaitDataGoAhead
//  AwaitDataGoAhead       354           the rest of the mail text, "."  AwaitDataAccepted
//  AwaitDataAccepted      250           QUIT                            AwaitQuit
//  AwaitQuit              221           nothing; the server closes      AwaitQuit
//
// A reply that begins with "4" or "5" is reported with the server's text,
// the connection is closed and the dialogue starts over (AwaitGreeting),
// before the table is looked at (except in AwaitQuit: the mail was
// accepted already); any other reply the table does not name is ignored.
//
// When the mail goes with STARTTLS or SMTP AUTH, the greeting is answered
// with EHLO instead, and SmtpSessionSetup takes the replies (Negotiating)
// until the server is ready for MAIL FROM; then the table goes on as after
// a 250 to HELO.
class SmtpDialogue {
 public:
  // The numbers are the ones the dialogue state has always had.
  enum class State : std::int16_t {
    AwaitGreeting = 0,
    AwaitRset = 1,
    AwaitHelo = 2,
    AwaitMailFrom = 3,
    AwaitRcptTo = 4,
    AwaitDataGoAhead = 5,
    AwaitDataAccepted = 6,
    AwaitQuit = 7,
    Negotiating = 8,
  };

  // lastReply is the server's last text, shared with the POP login and the
  // close handler, which reports it when a server gives up early.
  SmtpDialogue(ServerLink& server, QString& lastReply, SendFailureSink& failures)
      : server_(server), lastReply_(lastReply), failures_(failures), setup_(server, failures) {}

  // encrypted: the connection is encrypted from its first byte. The mail's
  // password is wiped once it has gone out.
  void step(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  // The handshake that STARTTLS began has verified the server.
  void tlsReady(OutgoingMail& mail);

  State state() const { return state_; }
  // Where EHLO, STARTTLS and AUTH stand while Negotiating.
  SmtpSessionSetup::State setupState() const { return setup_.state(); }
  void restart() { state_ = State::AwaitGreeting; }

  // The mail text built so far, in the bytes it goes out in: whole once
  // the data went out, for the log.
  const QByteArray& mailText() const { return mailText_; }
  void clearMailText() { mailText_.clear(); }

  // The whole mail text as it goes after DATA, before the dots are doubled
  // (what a dry run shows); eightBit: the server takes 8BITMIME.
  static QByteArray wholeMailText(const OutgoingMail& mail, bool eightBit);

 private:
  // From the X-Mailer line to the end of the body; sentIn: the charset the
  // body goes in.
  static QByteArray textFromXMailer(const OutgoingMail& mail, bool eightBit, MailSettings::Charset& sentIn);
  void refuse(const SmtpReply& reply);
  void sendMailFrom(const OutgoingMail& mail);

  // One state's step on a reply that is no refusal. It says whether the
  // server's text stays the last words to report: a step that moved the
  // mail on leaves none behind.
  enum class LastReply { Keep, Clear };
  using Handler = LastReply (SmtpDialogue::*)(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  static Handler handlerOf(State state);
  LastReply onGreeting(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  LastReply onRset(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  LastReply onHelo(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  LastReply onMailFrom(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  LastReply onRcptTo(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  LastReply onDataGoAhead(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  LastReply onDataAccepted(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  LastReply ignoreReply(const SmtpReply& reply, OutgoingMail& mail, bool encrypted);
  void negotiated(SmtpSessionSetup::Outcome outcome, const OutgoingMail& mail);

  ServerLink& server_;
  QString& lastReply_;
  SendFailureSink& failures_;
  State state_ = State::AwaitGreeting;
  SmtpSessionSetup setup_;
  QByteArray mailText_;  // the mail text as it goes out, before the dots are doubled
  bool eightBit_ = false;  // the body goes as 8-bit UTF-8 (the server takes 8BITMIME)
};
