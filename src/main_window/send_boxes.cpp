#include "send_boxes.h"

#include "mail_settings.h"
#include "mail_transmission.h"
#include "message_box.h"
#include "password_store.h"
#include "send_box_texts.h"
#include "connection_errors.h"

using namespace SendBoxTexts;
using Kind = SendFailure::Kind;
using Problem = SendCheck::Problem;

namespace {

QString captionOf(SendFailure::Setting setting) {
  switch (setting) {
    case SendFailure::Setting::SmtpServer: return kSmtpServerCaption;
    case SendFailure::Setting::SmtpUser: return kSmtpUserCaption;
    case SendFailure::Setting::SmtpPassword: return kSmtpPasswordCaption;
    case SendFailure::Setting::PopServer: return kPopServerCaption;
    case SendFailure::Setting::PopUser: return kPopUserCaption;
    case SendFailure::Setting::PopPassword: return kPopPasswordCaption;
    case SendFailure::Setting::None: break;
  }
  return QString();
}

QString controlCharacterText(SendFailure::Setting setting) {
  return kControlCharacterInSetting + kCrLf + QStringLiteral("（") + captionOf(setting) + QStringLiteral("）");
}

QString socketErrorText(std::int16_t number, const QString& description) {
  switch (number) {
    case TlsError::kHandshakeFailed: return kTlsHandshakeFailed + kCrLf + description;
    case TlsError::kCertificateRejected: return kCertificateRejected + kCrLf + description;
    case WsaError::WSAEADDRNOTAVAIL: return kAddressNotAvailable;
    case WsaError::WSAETIMEDOUT: return kTimedOut;
    case WsaError::WSAECONNREFUSED: return kRefused;
    case WsaError::WSAHOST_NOT_FOUND: return kHostNotFound;
    case WsaError::WSANO_DATA: return kNoDataRecord;
    default: return kOtherSocketError;
  }
}

}  // namespace

QString SendBoxes::failureText(const SendFailure& failure) {
  const QString serverSaid = kCrLf + kCrLf + quoted(failure.serverText);
  switch (failure.kind) {
    case Kind::ControlCharacterInSetting: return controlCharacterText(failure.setting);
    case Kind::KeyringUnavailable:
      return kKeyringUnavailable + kCrLf + kCrLf + quoted(failure.detail) + kCrLf + kCrLf +
             PasswordStore::kKeyringAdvice;
    case Kind::SmtpRefused:
      return kSmtpError + kCrLf +
             quoted(failure.serverText + (failure.addressRefused ? kCrLf + kCheckAddressHint : QString()));
    case Kind::StartTlsNotOffered: return kStartTlsNotOffered;
    case Kind::StartTlsRefused: return kStartTlsRefused + serverSaid;
    case Kind::AuthNotOffered: return kAuthNotOffered;
    case Kind::AuthNeedsTls: return kAuthNeedsTls;
    case Kind::AuthAfterStartTls: return kAuthAfterStartTls;
    case Kind::AuthFailed: return kAuthFailed + serverSaid;
    case Kind::StlsRefused: return failure.serverText.isEmpty() ? kStlsRefused : kStlsRefused + serverSaid;
    case Kind::PopRefused: return kError + kCrLf + quoted(failure.serverText) + kCrLf + kCheckLoginHint;
    case Kind::ReplyTooLong: return kReplyTooLong;
    case Kind::NoAnswer:
      return failure.tlsPort == 0 ? kNoAnswer : kNoAnswer + kCrLf + kCrLf + portExpectsTls(failure.tlsPort);
    case Kind::ClosedEarly:
      // A server that said nothing is said to have closed the connection,
      // so that the box is never empty.
      return kError + kCrLf + (failure.serverText.isEmpty() ? kServerClosed : quoted(failure.serverText));
    case Kind::SocketError:
      return socketErrorText(failure.socketError, failure.detail) + kCrLf + kCrLf + kCheckServerHint + kCrLf +
             kServerStoppedHint + kErrorCodeOpen + QString::number(failure.socketError) + kErrorCodeClose;
  }
  return QString();
}

QString SendBoxes::refusalText(const SendCheck& check) {
  switch (check.problem) {
    case Problem::None:
    case Problem::NoRecipient: return QString();
    case Problem::InvalidRecipient: return kInvalidRecipient + kCrLf + check.recipient;
    case Problem::InvalidSender: return kInvalidSender + kCrLf + check.from;
    case Problem::ControlCharacterInSetting: return controlCharacterText(check.setting);
    case Problem::RecipientUnmappable: return kRecipientUnmappable + check.lost + kCrLf + check.recipient;
    case Problem::SenderUnmappable: return kSenderUnmappable + check.lost + kCrLf + check.from;
    case Problem::TextUnmappable: return kTextUnmappable + kCrLf + check.lost;
  }
  return QString();
}

SendBoxes::SendBoxes(MailTransmission& engine, const MailSettings& running, QObject* parent)
    : QObject(parent), engine_(engine), running_(running) {
  connect(&engine_, &MailTransmission::failed, this, &SendBoxes::showFailure);
  connect(&engine_, &MailTransmission::sent, this, &SendBoxes::showSent);
  connect(&engine_, &MailTransmission::popTestSucceeded, this, &SendBoxes::showPopTestSucceeded);
}

void SendBoxes::send(const QString& typedRecipient, const QString& subject, const QString& body) {
  const MailTransmission::UserAsked asking(engine_);
  const SendCheck check = MailTransmission::check(running_, typedRecipient, subject, body);
  if (refusedBeforeSending(check) || !confirmed(check)) return;
  engine_.send(running_, typedRecipient, subject, body);
}

void SendBoxes::testPopLogin() { engine_.testPopLogin(running_); }

bool SendBoxes::refusedBeforeSending(const SendCheck& check) {
  switch (check.problem) {
    case Problem::None: return false;
    case Problem::NoRecipient: return true;
    case Problem::ControlCharacterInSetting:
      MessageBox::show(refusalText(check), MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
      return true;
    case Problem::TextUnmappable:
      // Text that would lose characters asks.
      return MessageBox::show(refusalText(check) + kCrLf + kCrLf + kSendAnyway, MessageBox::Buttons::YesNo,
                                MessageBox::Icon::Question, QString(), MessageBox::Answer::No) != MessageBox::Answer::Yes;
    default:
      MessageBox::show(refusalText(check));
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
  MessageBox::show(failureText(failure), MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation,
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
