#pragma once

#include "outgoing_mail.h"
#include "reply_reader.h"
#include "send_outcome.h"

#include <QString>
#include <QStringList>
#include <cstdint>

class ServerLink;

// What comes between the greeting and MAIL FROM when the user chose
// STARTTLS or SMTP AUTH, one step per whole reply (or per finished
// handshake):
//
//  waiting for           advances on        then                                 next
//  AwaitEhlo             250                STARTTLS, when chosen                AwaitStartTls
//                                           else as after AwaitEhloOverTls
//  AwaitStartTls         220                encryption begins                    AwaitHandshake
//  AwaitHandshake        the handshake      EHLO again; what the server said     AwaitEhloOverTls
//                                           before it is forgotten
//  AwaitEhloOverTls      250                AUTH, when chosen; else ready        AwaitAuth...
//  AwaitAuthPlain        235                ready
//  AwaitLoginUserPrompt  334                the user name, base64                AwaitLoginPassPrompt
//  AwaitLoginPassPrompt  334                the password, base64                 AwaitAuthResult
//  AwaitCramChallenge    334 <challenge>    user and keyed digest                AwaitAuthResult
//  AwaitAuthResult       235                ready
//
// AUTH takes the strongest mechanism both sides have: CRAM-MD5, then PLAIN,
// then LOGIN; PLAIN and LOGIN only on an encrypted connection. Anything
// the table does not name stops the send, reported as a failure, and the
// connection is closed at once: nothing is ever sent in clear that the user wanted
// encrypted, and no password goes out unprotected.
class SmtpSessionSetup {
 public:
  enum class State : std::int16_t {
    AwaitEhlo,
    AwaitStartTls,
    AwaitHandshake,
    AwaitEhloOverTls,
    AwaitAuthPlain,
    AwaitLoginUserPrompt,
    AwaitLoginPassPrompt,
    AwaitCramChallenge,
    AwaitAuthResult,
  };
  enum class Outcome { Waiting, Ready, Stopped };

  SmtpSessionSetup(ServerLink& server, SendFailureSink& failures) : server_(server), failures_(failures) {}

  // Sends EHLO; encrypted tells whether the connection is encrypted from
  // its first byte.
  void begin(bool encrypted);
  // The password is wiped from login once it has gone out, or the setup stopped.
  Outcome step(const SmtpReply& reply, SmtpLogin& login);
  // The handshake that STARTTLS began has verified the server.
  Outcome tlsReady();

  State state() const { return state_; }
  // The server's extensions, from its latest EHLO reply, upper case.
  const QStringList& extensions() const { return extensions_; }

 private:
  Outcome afterEhlo(const SmtpReply& reply, SmtpLogin& login);
  Outcome startAuth(SmtpLogin& login);
  Outcome stop(SendFailure::Kind kind, SmtpLogin& login, const QString& serverText = QString());
  void sendEhlo();

  ServerLink& server_;
  SendFailureSink& failures_;
  State state_ = State::AwaitEhlo;
  bool encrypted_ = false;
  QStringList extensions_;
  QStringList mechanisms_;
};
