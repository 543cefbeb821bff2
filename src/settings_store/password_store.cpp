#include "password_store.h"

#include "app_places.h"
#include "data_ini_layout.h"
#include "keyring.h"
#include "settings_file.h"

namespace PasswordStore {

namespace {

const std::optional<QString>& held(const MailSettings& settings, Which which) {
  return which == Which::Pop ? settings.popPassword : settings.smtpPassword;
}

bool inKeyring(const MailSettings& settings) {
  return settings.passwordStore == MailSettings::PasswordStore::Keyring;
}

}  // namespace

QString keyringService() { return QStringLiteral("Talvenor ") + AppPlaces::settingsFolder(); }

QString keyringKey(Which which) { return which == Which::Pop ? DataIni::Key::PASS : DataIni::Key::SmtpPass; }

std::optional<QString> fetch(const MailSettings& settings, Which which, QString& why) {
  // The file is read only for a password kept there and not held.
  const bool fromFile = !held(settings, which) && !inKeyring(settings);
  return fetch(settings, which, why, fromFile ? SettingsFile::inUse().read() : IniDocument());
}

std::optional<QString> fetch(const MailSettings& settings, Which which, QString& why, const IniDocument& ini) {
  if (held(settings, which)) return held(settings, which);
  if (!inKeyring(settings)) return DataIni::readScrambled(ini, DataIni::Section::MAIL, keyringKey(which));
  Keyring::Answer answer = Keyring::read(keyringService(), keyringKey(which));
  if (answer.status == Keyring::Status::Ok) return std::move(answer.secret);
  // A locked keyring can hide its entries: no entry is no answer either,
  // never an empty password.
  why = answer.status == Keyring::Status::NotFound ? QStringLiteral("キーリングにパスワードが見つかりません。")
                                                    : answer.error;
  return std::nullopt;
}

bool keepInKeyring(const MailSettings& settings, QString& why) {
  if (!inKeyring(settings)) return true;
  for (const Which which : {Which::Pop, Which::Smtp}) {
    const std::optional<QString>& password = held(settings, which);
    if (!password) continue;
    const Keyring::Answer answer = Keyring::write(keyringService(), keyringKey(which), *password);
    if (answer.status != Keyring::Status::Ok) {
      why = answer.error;
      return false;
    }
  }
  return true;
}

void leaveKeyring(const MailSettings& settings, MailSettings::PasswordStore before) {
  if (inKeyring(settings) || before != MailSettings::PasswordStore::Keyring) return;
  for (const Which which : {Which::Pop, Which::Smtp})
    if (held(settings, which)) Keyring::remove(keyringService(), keyringKey(which));
}

void forgetKeyringPopPassword() { Keyring::remove(keyringService(), keyringKey(Which::Pop)); }

}  // namespace PasswordStore
