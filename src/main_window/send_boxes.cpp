#include "send_boxes.h"

#include "mail_settings.h"
#include "login_secrets.h"
#include "mail_transmission.h"
#include "message_box.h"
#include "send_report.h"
#include "send_texts.h"

using namespace SendTexts;
using Kind = SendFailure::Kind;
using Problem = SendCheck::Problem;

SendBoxes::SendBoxes(MailTransmission& engine, const MailSettings& running, PasswordStore passwords, QObject* parent)
    : QObject(parent), engine_(engine), running_(running), passwords_(std::move(passwords)) {
  connect(&engine_, &MailTransmission::failed, this, &SendBoxes::showFailure);
  connect(&engine_, &MailTransmission::sent, this, &SendBoxes::showSent);
  connect(&engine_, &MailTransmission::popTestSucceeded, this, &SendBoxes::showPopTestSucceeded);
}

void SendBoxes::send(const QString& typedRecipient, const QString& subject, const QString& body) {
  const MailTransmission::UserAsked asking(engine_);
  const SendCheck check = MailTransmission::check(running_, typedRecipient, subject, body);
  if (refusedBeforeSending(check) || !confirmed(check)) return;
  // The passwords once the user has confirmed: a keyring may ask to be
  // unlocked.
  LoginSecrets secrets;
  if (const std::optional<SendFailure> failure = fetchLoginSecrets(
          passwords_, running_, running_.smtpAuth, engine_.logsInToPopFirst(running_), secrets)) {
    showFailure(*failure);
    return;
  }
  engine_.send(running_, std::move(secrets), MailLog::placeInUse(), typedRecipient, subject, body);
}

void SendBoxes::testPopLogin() {
  // A refusal's box holds back the time limits of a send still under way.
  const MailTransmission::UserAsked asking(engine_);
  if (const std::optional<SendFailure> refused = MailTransmission::checkPopTest(running_)) {
    showFailure(*refused);
    return;
  }
  LoginSecrets secrets;
  if (const std::optional<SendFailure> failure = fetchLoginSecrets(passwords_, running_, false, true, secrets)) {
    showFailure(*failure);
    return;
  }
  engine_.testPopLogin(running_, std::move(*secrets.popPassword));
}

bool SendBoxes::refusedBeforeSending(const SendCheck& check) {
  switch (check.problem) {
    case Problem::None: return false;
    case Problem::NoRecipient: return true;
    case Problem::ControlCharacterInSetting:
      MessageBox::show(SendReport::refusalText(check), MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
      return true;
    case Problem::TextUnmappable:
      // Text that would lose characters asks.
      return MessageBox::show(SendReport::refusalText(check) + kCrLf + kCrLf + kSendAnyway, MessageBox::Buttons::YesNo,
                                MessageBox::Icon::Question, QString(), MessageBox::Answer::No) != MessageBox::Answer::Yes;
    default:
      MessageBox::show(SendReport::refusalText(check));
      return true;
  }
}

bool SendBoxes::confirmed(const SendCheck& check) {
  QString confirmation = kConfirmQuestion + kCrLf + kCrLf + kConfirmTo + check.recipient + kCrLf + kCrLf +
                         kConfirmFrom + check.from + kCrLf;
  if (running_.popBeforeSmtp) confirmation += kCrLf + kCrLf + kConfirmPopBeforeSmtp;
  return MessageBox::show(confirmation, MessageBox::Buttons::OkCancel, MessageBox::Icon::Question, kConfirmTitle,
                            MessageBox::Answer::Ok) == MessageBox::Answer::Ok;
}

void SendBoxes::showFailure(const SendFailure& failure) {
  MessageBox::show(SendReport::failureText(failure), MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation,
                     failure.kind == Kind::SocketError ? kSocketErrorTitle : QString());
}

void SendBoxes::showSent(const MailLog::LogResult& log) {
  if (MessageBox::show(kSendCompleted + kCrLf + kCrLf + kClearQuestion, MessageBox::Buttons::YesNo,
                         MessageBox::Icon::Question) == MessageBox::Answer::Yes)
    emit clearSubjectAndBody();
  // The record is never lost without a word.
  if (!log.written)
    MessageBox::show(kLogNotWritten + kCrLf + kCrLf + log.path + kCrLf + log.reason, MessageBox::Buttons::Ok,
                       MessageBox::Icon::Exclamation);
}

void SendBoxes::showPopTestSucceeded() {
  MessageBox::show(kPopTestSucceeded, MessageBox::Buttons::Ok, MessageBox::Icon::None, kPopTestTitle);
  emit popTestSucceeded();
}
