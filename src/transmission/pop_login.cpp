#include "pop_login.h"

#include "server_link.h"

void PopLogin::tlsReady(const QString& user) {
  if (state_ != State::AwaitHandshake) return;
  server_.sendLine(QStringLiteral("USER ") + user);
  state_ = State::AwaitUserAccepted;
}

PopLogin::Outcome PopLogin::step(const PopReply& reply, bool stls, const QString& user, const QString& password) {
  lastReply_ = reply.text();
  if (state_ == State::AwaitStlsAccepted && !reply.isOk()) return stlsRefused(reply.text().trimmed());
  // Nothing may arrive between the +OK to STLS and the handshake.
  if (state_ == State::AwaitHandshake) return stlsRefused(QString());
  if (reply.isError()) return refused();
  if (!reply.isOk()) return Outcome::Waiting;
  return (this->*handlerOf(state_))(stls, user, password);
}

PopLogin::Outcome PopLogin::stlsRefused(const QString& serverText) {
  server_.close();
  state_ = State::AwaitGreeting;
  SendFailure failure{SendFailure::Kind::StlsRefused};
  failure.serverText = serverText;
  failures_.report(failure);
  return Outcome::Refused;
}

PopLogin::Outcome PopLogin::refused() {
  SendFailure failure{SendFailure::Kind::PopRefused};
  failure.serverText = lastReply_;
  failures_.report(failure);
  state_ = State::AwaitGreeting;
  lastReply_.clear();
  server_.close();
  return Outcome::Refused;
}

// The table of the class comment, one handler per state, for a +OK.
PopLogin::Handler PopLogin::handlerOf(State state) {
  switch (state) {
    case State::AwaitGreeting: return &PopLogin::onGreeting;
    case State::AwaitStlsAccepted: return &PopLogin::onStlsAccepted;
    case State::AwaitUserAccepted: return &PopLogin::onUserAccepted;
    case State::AwaitPassAccepted: return &PopLogin::onPassAccepted;
    case State::AwaitServerClose: return &PopLogin::ignoreReply;
    case State::AwaitHandshake: return &PopLogin::ignoreReply;  // refused before the table
  }
  return &PopLogin::ignoreReply;
}

PopLogin::Outcome PopLogin::onGreeting(bool stls, const QString& user, const QString&) {
  if (stls) {
    server_.sendLine(QStringLiteral("STLS"));
    state_ = State::AwaitStlsAccepted;
    return Outcome::Waiting;
  }
  server_.sendLine(QStringLiteral("USER ") + user);
  state_ = State::AwaitUserAccepted;
  return Outcome::Waiting;
}

PopLogin::Outcome PopLogin::onStlsAccepted(bool, const QString&, const QString&) {
  server_.startTls();
  state_ = State::AwaitHandshake;
  return Outcome::Waiting;
}

PopLogin::Outcome PopLogin::onUserAccepted(bool, const QString&, const QString& password) {
  server_.sendSecret(QStringLiteral("PASS "), password);
  state_ = State::AwaitPassAccepted;
  return Outcome::Waiting;
}

PopLogin::Outcome PopLogin::onPassAccepted(bool, const QString&, const QString&) {
  server_.sendLine(QStringLiteral("QUIT"));
  state_ = State::AwaitServerClose;
  return Outcome::LoggedIn;
}

PopLogin::Outcome PopLogin::ignoreReply(bool, const QString&, const QString&) { return Outcome::Waiting; }
