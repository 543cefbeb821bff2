#include "pop_login.h"

#include "server_link.h"

void PopLogin::tlsReady(const QString& user) {
  if (state_ != State::AwaitHandshake) return;
  server_.sendLine(QStringLiteral("USER ") + user);
  state_ = State::AwaitUserAccepted;
}

PopLogin::Outcome PopLogin::step(const PopReply& reply, bool stls, const QString& user, const QString& password) {
  lastReply_ = reply.text();

  if (state_ == State::AwaitStlsAccepted && !reply.isOk()) {
    server_.close();
    state_ = State::AwaitGreeting;
    SendFailure failure{SendFailure::Kind::StlsRefused};
    failure.serverText = reply.text().trimmed();
    failures_.report(failure);
    return Outcome::Refused;
  }
  if (state_ == State::AwaitHandshake) {
    // Nothing may arrive between the +OK to STLS and the handshake.
    server_.close();
    state_ = State::AwaitGreeting;
    failures_.report(SendFailure{SendFailure::Kind::StlsRefused});
    return Outcome::Refused;
  }

  if (reply.isError()) {
    SendFailure failure{SendFailure::Kind::PopRefused};
    failure.serverText = lastReply_;
    failures_.report(failure);
    state_ = State::AwaitGreeting;
    lastReply_.clear();
    server_.close();
    return Outcome::Refused;
  }
  if (!reply.isOk()) return Outcome::Waiting;

  switch (state_) {
    case State::AwaitGreeting:
      if (stls) {
        server_.sendLine(QStringLiteral("STLS"));
        state_ = State::AwaitStlsAccepted;
        return Outcome::Waiting;
      }
      server_.sendLine(QStringLiteral("USER ") + user);
      state_ = State::AwaitUserAccepted;
      return Outcome::Waiting;
    case State::AwaitStlsAccepted:
      server_.startTls();
      state_ = State::AwaitHandshake;
      return Outcome::Waiting;
    case State::AwaitUserAccepted:
      server_.sendSecret(QStringLiteral("PASS "), password);
      state_ = State::AwaitPassAccepted;
      return Outcome::Waiting;
    case State::AwaitPassAccepted:
      server_.sendLine(QStringLiteral("QUIT"));
      state_ = State::AwaitServerClose;
      return Outcome::LoggedIn;
    case State::AwaitServerClose:
    case State::AwaitHandshake:
      return Outcome::Waiting;
  }
  return Outcome::Waiting;
}
