#pragma once

#include "plain_text.h"

#include <QString>

// The user's words around a send: the checks and the confirmation before
// it, and how it ended. The window shows them in boxes, talvenor-send
// prints them; SendReport puts them together.
namespace SendTexts {

using ::kCrLf;

// Send command.
inline const QString kInvalidRecipient = QStringLiteral("宛先メールアドレスが不正です");
inline const QString kInvalidSender = QStringLiteral("発信者メールアドレスが不正です");
inline const QString kConfirmQuestion = QStringLiteral("メールを送信してよろしいですか？");
inline const QString kConfirmTo = QStringLiteral("宛先： ");
inline const QString kConfirmFrom = QStringLiteral("差出人： ");
inline const QString kConfirmPopBeforeSmtp = QStringLiteral("メール送信に POP Before SMTP を使います。");
inline const QString kConfirmTitle = QStringLiteral("メール宛先・送信元の確認");

// A setting (a Data.ini edited by hand) that would break the command line
// it goes into; followed by the setting's caption in brackets.
inline const QString kControlCharacterInSetting =
    QStringLiteral("設定に改行などの制御文字が含まれているため、サーバには接続していません。");
// The captions of the settings that go into command lines, as the settings
// window shows them; SendReport::caption picks one.
inline const QString kSmtpServerCaption = QStringLiteral("SMTPサーバ名");
inline const QString kSmtpUserCaption = QStringLiteral("SMTP 認証のユーザ名");
inline const QString kSmtpPasswordCaption = QStringLiteral("SMTP 認証のパスワード");
inline const QString kPopServerCaption = QStringLiteral("POPサーバ名");
inline const QString kPopUserCaption = QStringLiteral("POPユーザ名");
inline const QString kPopPasswordCaption = QStringLiteral("POPパスワード");

// Characters the Shift-JIS mail cannot carry.
inline const QString kRecipientUnmappable = QStringLiteral("宛先メールアドレスに送信できない文字があります：");
inline const QString kSenderUnmappable = QStringLiteral("発信者メールアドレスに送信できない文字があります：");
inline const QString kTextUnmappable = QStringLiteral("次の文字は送信できないため「?」になります：");
inline const QString kSendAnyway = QStringLiteral("このまま送信しますか？");

// SMTP dialogue.
inline const QString kSmtpError = QStringLiteral("エラーが発生しました");
inline const QString kCheckAddressHint = QStringLiteral("メールアドレスが正しいものか確認してください。");

// Sending through a provider: encryption and SMTP AUTH.
inline const QString kStartTlsNotOffered =
    QStringLiteral("SMTPサーバが暗号化（STARTTLS）に対応していません。送信を中止しました。");
inline const QString kStartTlsRefused = QStringLiteral("SMTPサーバが暗号化（STARTTLS）を開始しませんでした。送信を中止しました。");
inline const QString kStlsRefused = QStringLiteral("POPサーバが暗号化（STLS）を開始しませんでした。接続を中止しました。");
inline const QString kAuthNotOffered = QStringLiteral("SMTPサーバが SMTP 認証に対応していません。送信を中止しました。");
inline const QString kAuthNeedsTls =
    QStringLiteral("暗号化されていない接続で使える認証方式（CRAM-MD5）がSMTPサーバにありません。"
                   "パスワードは送信していません。暗号化（STARTTLS または SSL/TLS）を設定してください。");
inline const QString kAuthAfterStartTls =
    QStringLiteral("SMTPサーバは暗号化（STARTTLS）を始めた後でなければ SMTP 認証を受け付けません。"
                   "パスワードは送信していません。詳細設定で暗号化を STARTTLS にしてください。");
inline const QString kAuthFailed = QStringLiteral("SMTP 認証に失敗しました。ユーザ名・パスワードを確認してください。");
inline const QString kTlsHandshakeFailed = QStringLiteral("暗号化通信（TLS）を開始できませんでした。");
inline const QString kCertificateRejected =
    QStringLiteral("サーバの証明書を確認できませんでした（サーバ名・有効期限・発行元）。送信を中止しました。");

// POP dialogue and the close handler.
inline const QString kError = QStringLiteral("エラーが発生しました。");
inline const QString kCheckLoginHint = QStringLiteral("ユーザ名・パスワードを確認してください。");
// The mail went out but its log could not be written.
inline const QString kLogNotWritten = QStringLiteral("メールは送信されましたが、送信ログを書き込めませんでした。");

// The keyring chosen for the passwords did not give one: no connection.
inline const QString kKeyringUnavailable =
    QStringLiteral("キーリングからパスワードを読み出せませんでした。サーバには接続していません。");
// Why, when the keyring's own words do not say it.
inline const QString kKeyringEntryNotFound = QStringLiteral("キーリングにパスワードが見つかりません。");
inline const QString kNoKeyringModule = QStringLiteral("キーリングを使う部品（%1）を読み込めませんでした。");
// What the user can do when the keyring does not give a password.
inline const QString kKeyringAdvice = QStringLiteral(
    "キーリングのロックを解除してください。または「詳細設定...」の「パスワードをキーリングに保存する」を外すと、"
    "パスワードは Data.ini に保存されます。");
// Shown beside password fields left empty because the keyring did not answer.
inline const QString kKeyringSilentNote =
    QStringLiteral("キーリングが応答しないため、パスワードを表示できません。") + kKeyringAdvice;
// A server whose reply passed any sensible length.
inline const QString kReplyTooLong =
    QStringLiteral("サーバの応答が長すぎるため、接続を切りました。メールは送信されていません。");

// Server text quoted in a box: at most this many characters, then "…".
inline constexpr qsizetype kMaxQuoted = 1024;
inline QString quoted(const QString& serverText) {
  if (serverText.size() <= kMaxQuoted) return serverText;
  qsizetype end = kMaxQuoted;
  if (serverText[end - 1].isHighSurrogate()) --end;
  return serverText.left(end) + QStringLiteral("…");
}

// A server that kept the program waiting past the time limit.
inline const QString kNoAnswer =
    QStringLiteral("サーバから時間内に応答がありませんでした。メールは送信されていません。");

// No greeting on a port whose servers speak TLS from the first byte.
inline QString portExpectsTls(int port) {
  return QStringLiteral("ポート %1 のサーバは最初から暗号化（SSL/TLS）で通信します。暗号化を SSL/TLS にしてください。")
      .arg(port);
}

// A server that closed the connection early without a word.
inline const QString kServerClosed =
    QStringLiteral("サーバが接続を閉じました。メールは送信されていない可能性があります。");
inline const QString kPopTestSucceeded = QStringLiteral("POPサーバへの接続は成功しました。");
inline const QString kPopTestTitle = QStringLiteral("POPサーバの接続テスト");
inline const QString kSendCompleted = QStringLiteral("送信が完了しました。");
inline const QString kClearQuestion = QStringLiteral("題名と本文をクリアしますか？");

// Socket errors.
inline const QString kAddressNotAvailable = QStringLiteral("接続先アドレス（SMTP/POPサーバ名）を取得できません。");
inline const QString kTimedOut = QStringLiteral("処理がタイムアウトしました。");
inline const QString kRefused = QStringLiteral("接続が強制的に拒絶されました。");
inline const QString kHostNotFound = QStringLiteral("ホストが見つかりません。");
inline const QString kNoDataRecord = QStringLiteral("名前は有効ですが、要求された型のデータ レコードがありません。");
inline const QString kOtherSocketError = QStringLiteral("通信中、エラーが発生しました。");
inline const QString kCheckServerHint = QStringLiteral("メールサーバの設定を間違っていませんか？");
inline const QString kServerStoppedHint = QStringLiteral("もしくはメールサーバが停止している可能性があります。");
inline const QString kErrorCodeOpen = QStringLiteral("（エラーコード：");
inline const QString kErrorCodeClose = QStringLiteral("）");
// Ends with the half-width ideographic full stop U+FF61.
inline const QString kSocketErrorTitle = QStringLiteral("エラーが発生しました｡");

}  // namespace SendTexts
