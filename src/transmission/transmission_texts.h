#pragma once

#include "plain_text.h"

#include <QString>

// The texts the send command, the dialogues and the connection events show
// or send, in one place.
namespace TransmissionTexts {

using ::kCrLf;

// Send command.
inline const QString kInvalidRecipient = QStringLiteral("宛先メールアドレスが不正です");
inline const QString kInvalidSender = QStringLiteral("発信者メールアドレスが不正です");
inline const QString kConfirmQuestion = QStringLiteral("メールを送信してよろしいですか？");
inline const QString kConfirmTo = QStringLiteral("宛先： ");
inline const QString kConfirmFrom = QStringLiteral("差出人： ");
inline const QString kConfirmPopBeforeSmtp = QStringLiteral("メール送信に POP Before SMTP を使います。");
inline const QString kConfirmTitle = QStringLiteral("メール宛先・送信元の確認");

// SMTP dialogue.
inline const QString kSmtpError = QStringLiteral("エラーが発生しました");
inline const QString kCheckAddressHint = QStringLiteral("メールアドレスが正しいものか確認してください。");

// POP dialogue and the close handler.
inline const QString kError = QStringLiteral("エラーが発生しました。");
inline const QString kCheckLoginHint = QStringLiteral("ユーザ名・パスワードを確認してください。");
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

}  // namespace TransmissionTexts
