#include "probe_advice.h"

#include "connection_errors.h"

using Step = ProbeStepReport::Step;
using Kind = SendFailure::Kind;
using Ending = SmtpProbeAttempt::Ending;

namespace {

const QString kCheckPair = QStringLiteral("ポート番号と暗号化の組み合わせを確かめてください（465 は SSL/TLS、587 は STARTTLS）。");
const QString kCheckLogin = QStringLiteral("SMTP 認証のユーザー名とパスワードを確かめてください。");

Ending ending(Step step, const QString& detail, const QString& advice, bool tryOthers, const QString& server = QString()) {
  Ending e;
  e.step = step;
  e.detail = detail;
  e.advice = advice;
  e.tryOtherPairs = tryOthers;
  e.serverText = server;
  return e;
}

}  // namespace

Ending ProbeAdvice::forSetupFailure(const SendFailure& failure) {
  const QString& said = failure.serverText;
  switch (failure.kind) {
    case Kind::StartTlsNotOffered:
      return ending(Step::StartTls, QStringLiteral("サーバが STARTTLS に対応していません。"), kCheckPair, true);
    case Kind::StartTlsRefused:
      return ending(Step::StartTls, QStringLiteral("サーバが STARTTLS を断りました。"), kCheckPair, true, said);
    case Kind::AuthAfterStartTls:
    case Kind::AuthNeedsTls:
      return ending(Step::Auth, QStringLiteral("暗号化されていない接続ではパスワードを送りません。"),
                    QStringLiteral("暗号化（STARTTLS または SSL/TLS）を選んでください。"), true);
    case Kind::AuthNotOffered:
      return ending(Step::Auth, QStringLiteral("サーバが SMTP 認証に対応していません。"),
                    QStringLiteral("SMTP 認証を使わない設定にするか、サーバ名を確かめてください。"), false);
    case Kind::AuthFailed:
      return ending(Step::Auth, QStringLiteral("SMTP 認証に失敗しました。"), kCheckLogin, false, said);
    case Kind::SmtpRefused:
      return ending(Step::Ehlo, QStringLiteral("サーバが EHLO を断りました。"),
                    QStringLiteral("サーバ名とポート番号を確かめてください。"), false, said);
    case Kind::ReplyTooLong:
      return ending(Step::Ehlo, QStringLiteral("サーバの応答が長すぎます。"), QStringLiteral("サーバ名を確かめてください。"), false);
    default:
      return ending(Step::Ehlo, QStringLiteral("サーバとのやり取りが途中で終わりました。"),
                    QStringLiteral("サーバ名とポート番号を確かめてください。"), false, said);
  }
}

Ending ProbeAdvice::forSocketError(Step step, std::int16_t number, const QString& description) {
  if (number == TlsError::kCertificateRejected)
    return ending(Step::Tls, QStringLiteral("サーバの証明書を確認できませんでした（%1）。").arg(description),
                  QStringLiteral("サーバ名がプロバイダの案内どおりか確かめてください。"), false);
  if (number == TlsError::kHandshakeFailed)
    return ending(Step::Tls, QStringLiteral("暗号化通信（TLS）を開始できませんでした（%1）。").arg(description), kCheckPair, true);
  if (number == WsaError::WSAHOST_NOT_FOUND || number == WsaError::WSANO_DATA)
    return ending(Step::Connect, QStringLiteral("サーバ名が見つかりません（%1）。").arg(description),
                  QStringLiteral("SMTPサーバ名を確かめてください。"), false);
  return ending(step, QStringLiteral("接続できませんでした（%1: %2）。").arg(number).arg(description), kCheckPair, true);
}

Ending ProbeAdvice::forSilence(Step step, MailSettings::SmtpSecurity security) {
  const bool beforeGreeting = step == Step::Connect || step == Step::Tls || step == Step::Greeting;
  QString detail = QStringLiteral("サーバから時間内に応答がありませんでした。");
  if (beforeGreeting && security != MailSettings::SmtpSecurity::Ssl)
    detail += QStringLiteral("暗号化が最初から必要なポート（465 など）かもしれません。");
  return ending(step, detail, beforeGreeting ? kCheckPair : QStringLiteral("しばらくしてからもう一度試してください。"),
                beforeGreeting);
}
