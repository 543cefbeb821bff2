#include "pop_login.h"

#include "message_box.h"
#include "server_link.h"
#include "transmission_texts.h"

using namespace TransmissionTexts;

PopLogin::Outcome PopLogin::step(const PopReply& reply, const QString& user, const QString& password) {
  lastReply_ = reply.text();

  if (reply.isError()) {
    MessageBox::MsgBox(kError + kCrLf + lastReply_ + kCrLf + kCheckLoginHint, MessageBox::Buttons::Ok,
                       MessageBox::Icon::Exclamation);
    state_ = State::AwaitGreeting;
    lastReply_.clear();
    server_.close();
    return Outcome::Refused;
  }
  if (!reply.isOk()) return Outcome::Waiting;

  switch (state_) {
    case State::AwaitGreeting:
      server_.sendLine(QStringLiteral("USER ") + user);
      state_ = State::AwaitUserAccepted;
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
      return Outcome::Waiting;
  }
  return Outcome::Waiting;
}
