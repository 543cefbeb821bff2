#include "send_report.h"

#include "connection_errors.h"
#include "keyring_backend.h"
#include "send_texts.h"

using namespace SendTexts;
using Kind = SendFailure::Kind;
using Problem = SendCheck::Problem;

namespace SendReport {

namespace {

QString controlCharacterText(SendFailure::Setting setting) {
  return kControlCharacterInSetting + kCrLf + QStringLiteral("（") + caption(setting) + QStringLiteral("）");
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

QString caption(SendFailure::Setting setting) {
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

QString keyringWords(const KeyringTrouble& trouble) {
  switch (trouble.kind) {
    case KeyringTrouble::Kind::NotFound: return kKeyringEntryNotFound;
    case KeyringTrouble::Kind::NoModule: return kNoKeyringModule.arg(QLatin1String(KeyringBackend::kModuleFileName));
    case KeyringTrouble::Kind::Failed: break;
  }
  return trouble.words;
}

QString failureText(const SendFailure& failure) {
  const QString serverSaid = kCrLf + kCrLf + quoted(failure.serverText);
  switch (failure.kind) {
    case Kind::ControlCharacterInSetting: return controlCharacterText(failure.setting);
    case Kind::KeyringUnavailable:
      return kKeyringUnavailable + kCrLf + kCrLf + quoted(keyringWords(failure.keyring)) + kCrLf + kCrLf +
             kKeyringAdvice;
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

QString refusalText(const SendCheck& check) {
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

}  // namespace SendReport
