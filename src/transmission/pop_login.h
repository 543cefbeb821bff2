#pragma once

#include "reply_reader.h"
#include "send_outcome.h"

#include <QStringView>

#include <QString>
#include <cstdint>

class ServerLink;

// The POP3 login that POP before SMTP needs, one step per whole reply:
//
//  waiting for          advances on   then              next
//  AwaitGreeting        +OK           USER <user>       AwaitUserAccepted
//  AwaitUserAccepted    +OK           PASS <password>   AwaitPassAccepted
//  AwaitPassAccepted    +OK           QUIT; logged in   AwaitServerClose
//  AwaitServerClose     (the server's answer to QUIT is not read)
//
// With STLS (RFC 2595) the greeting is answered with STLS first:
//  AwaitGreeting        +OK           STLS              AwaitStlsAccepted
//  AwaitStlsAccepted    +OK           encryption        AwaitHandshake
//  AwaitHandshake       the handshake USER <user>       AwaitUserAccepted
// and anything but +OK to STLS ends the login as a failure, the connection
// closed before a user name or password could cross it in clear.
//
// "-ERR" anywhere in a reply ends the login as a failure, before any "+OK"
// in the same reply counts. Other replies are ignored.
class PopLogin {
 public:
  // The numbers are the ones the dialogue state has always had.
  enum class State : std::int16_t {
    AwaitGreeting = 0,
    AwaitUserAccepted = 1,
    AwaitPassAccepted = 2,
    AwaitServerClose = 110,
    AwaitStlsAccepted = 3,
    AwaitHandshake = 4,
  };

  enum class Outcome { Waiting, LoggedIn, Refused };

  // lastReply: see SmtpDialogue.
  PopLogin(ServerLink& server, QString& lastReply, SendFailureSink& failures)
      : server_(server), lastReply_(lastReply), failures_(failures) {}

  // On Refused the failure has been reported and the connection closed;
  // on LoggedIn QUIT has gone out.
  // stls: encrypt with STLS before logging in.
  Outcome step(const PopReply& reply, bool stls, const QString& user, const QString& password);
  // The handshake that STLS began has verified the server.
  void tlsReady(const QString& user);

  State state() const { return state_; }
  void restart() { state_ = State::AwaitGreeting; }

 private:
  Outcome stlsRefused(const QString& serverText);
  Outcome refused();
  // One state's step on a +OK.
  using Handler = Outcome (PopLogin::*)(bool stls, const QString& user, const QString& password);
  static Handler handlerOf(State state);
  Outcome onGreeting(bool stls, const QString& user, const QString& password);
  Outcome onStlsAccepted(bool stls, const QString& user, const QString& password);
  Outcome onUserAccepted(bool stls, const QString& user, const QString& password);
  Outcome onPassAccepted(bool stls, const QString& user, const QString& password);
  Outcome ignoreReply(bool stls, const QString& user, const QString& password);

  ServerLink& server_;
  QString& lastReply_;
  SendFailureSink& failures_;
  State state_ = State::AwaitGreeting;
};
