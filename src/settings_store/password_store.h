#pragma once

#include "ini_document.h"
#include "keyring.h"
#include "keyring_trouble.h"
#include "mail_settings.h"
#include "settings_file.h"

#include <QString>
#include <optional>

// The passwords of one Data.ini where the user chose to keep them:
// scrambled in the file, or in the desktop's keyring under an entry of
// that installation. They are fetched only when a login or the settings
// window needs them.
class PasswordStore {
 public:
  enum class Which { Pop, Smtp };

  // The passwords of settingsFile's settings, with that keyring.
  PasswordStore(SettingsFile settingsFile, Keyring keyring)
      : settingsFile_(std::move(settingsFile)), keyring_(std::move(keyring)) {}

  // The keyring entries of these settings: the folder of the Data.ini is
  // in the service name, so two sets of settings never share a password.
  QString keyringService() const;
  static QString keyringKey(Which which);  // "PASS", "SmtpPass": the keys Data.ini keeps them under too

  // The password for a login: the one the settings hold, or the stored
  // one. None when the keyring does not give it (no service, locked, no
  // entry); trouble then says why.
  std::optional<QString> fetch(const MailSettings& settings, Which which, KeyringTrouble& trouble) const;
  // The same, with a password kept in Data.ini taken from ini, a read of
  // the file the caller made already.
  std::optional<QString> fetch(const MailSettings& settings, Which which, KeyringTrouble& trouble,
                               const IniDocument& ini) const;

  // Saving, before Data.ini is written: with the keyring chosen, the
  // passwords held go there. The trouble when the keyring refuses; the
  // settings are then not to be saved.
  std::optional<KeyringTrouble> keepInKeyring(const MailSettings& settings) const;

  // Saving, after Data.ini is written: when the passwords moved from the
  // keyring back to the file, the keyring keeps no copy.
  void leaveKeyring(const MailSettings& settings, MailSettings::PasswordStore before) const;

  // Forgets the POP password kept in the keyring (Data.ini is not touched).
  void forgetKeyringPopPassword() const;

  // Whether a keyring answers, so that it can be offered.
  bool keyringAnswers() const { return keyring_.serviceAnswers(); }

 private:
  SettingsFile settingsFile_;
  Keyring keyring_;
};
