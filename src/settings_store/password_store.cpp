#include "password_store.h"

#include "data_ini_layout.h"

namespace {

using Which = PasswordStore::Which;

const std::optional<QString>& held(const MailSettings& settings, Which which) {
  return which == Which::Pop ? settings.popPassword : settings.smtpPassword;
}

bool inKeyring(const MailSettings& settings) {
  return settings.passwordStore == MailSettings::PasswordStore::Keyring;
}

KeyringTrouble troubleOf(const Keyring::Answer& answer) {
  switch (answer.status) {
    case Keyring::Status::NotFound: return {KeyringTrouble::Kind::NotFound, QString()};
    case Keyring::Status::NoModule: return {KeyringTrouble::Kind::NoModule, QString()};
    default: return {KeyringTrouble::Kind::Failed, answer.error};
  }
}

}  // namespace

QString PasswordStore::keyringService() const { return QStringLiteral("Talvenor ") + settingsFile_.folder(); }

QString PasswordStore::keyringKey(Which which) {
  return which == Which::Pop ? DataIni::Key::PASS : DataIni::Key::SmtpPass;
}

std::optional<QString> PasswordStore::fetch(const MailSettings& settings, Which which,
                                            KeyringTrouble& trouble) const {
  // The file is read only for a password kept there and not held.
  const bool fromFile = !held(settings, which) && !inKeyring(settings);
  return fetch(settings, which, trouble, fromFile ? settingsFile_.read() : IniDocument());
}

std::optional<QString> PasswordStore::fetch(const MailSettings& settings, Which which, KeyringTrouble& trouble,
                                            const IniDocument& ini) const {
  if (held(settings, which)) return held(settings, which);
  if (!inKeyring(settings)) return DataIni::readScrambled(ini, DataIni::Section::MAIL, keyringKey(which));
  Keyring::Answer answer = keyring_.read(keyringService(), keyringKey(which));
  if (answer.status == Keyring::Status::Ok) return std::move(answer.secret);
  // A locked keyring can hide its entries: no entry is no answer either,
  // never an empty password.
  trouble = troubleOf(answer);
  return std::nullopt;
}

std::optional<KeyringTrouble> PasswordStore::keepInKeyring(const MailSettings& settings) const {
  if (!inKeyring(settings)) return std::nullopt;
  for (const Which which : {Which::Pop, Which::Smtp}) {
    const std::optional<QString>& password = held(settings, which);
    if (!password) continue;
    const Keyring::Answer answer = keyring_.write(keyringService(), keyringKey(which), *password);
    if (answer.status != Keyring::Status::Ok) return troubleOf(answer);
  }
  return std::nullopt;
}

void PasswordStore::leaveKeyring(const MailSettings& settings, MailSettings::PasswordStore before) const {
  if (inKeyring(settings) || before != MailSettings::PasswordStore::Keyring) return;
  for (const Which which : {Which::Pop, Which::Smtp})
    if (held(settings, which)) keyring_.remove(keyringService(), keyringKey(which));
}

void PasswordStore::forgetKeyringPopPassword() const {
  keyring_.remove(keyringService(), keyringKey(Which::Pop));
}
