#pragma once

#include "ini_document.h"
#include "mail_settings.h"

#include <QString>
#include <optional>

// The passwords where the user chose to keep them: scrambled in Data.ini,
// or in the desktop's keyring under an entry of this installation. They are
// fetched only when a login or the settings window needs them.
namespace PasswordStore {

enum class Which { Pop, Smtp };

// What the user can do when the keyring does not give a password.
inline const QString kKeyringAdvice = QStringLiteral(
    "キーリングのロックを解除してください。または「詳細設定...」の「パスワードをキーリングに保存する」を外すと、"
    "パスワードは Data.ini に保存されます。");
// Shown beside password fields left empty because the keyring did not answer.
inline const QString kKeyringSilentNote =
    QStringLiteral("キーリングが応答しないため、パスワードを表示できません。") + kKeyringAdvice;

// The keyring entries of these settings: the folder of the Data.ini in use
// is in the service name, so two sets of settings never share a password.
QString keyringService();
QString keyringKey(Which which);  // "PASS", "SmtpPass": the keys Data.ini keeps them under too

// The password for a login: the one the settings hold, or the stored one.
// None when the keyring does not give it (no service, locked, no entry);
// `why` then says so in the user's words.
std::optional<QString> fetch(const MailSettings& settings, Which which, QString& why);
// The same, with a password kept in Data.ini taken from ini, a read of the
// file the caller made already.
std::optional<QString> fetch(const MailSettings& settings, Which which, QString& why, const IniDocument& ini);

// Saving, before Data.ini is written: with the keyring chosen, the
// passwords held go there. False, with why, when the keyring refuses; the
// settings are then not to be saved.
bool keepInKeyring(const MailSettings& settings, QString& why);

// Saving, after Data.ini is written: when the passwords moved from the
// keyring back to the file, the keyring keeps no copy.
void leaveKeyring(const MailSettings& settings, MailSettings::PasswordStore before);

// Forgets the POP password kept in the keyring (Data.ini is not touched).
void forgetKeyringPopPassword();

}  // namespace PasswordStore
