#pragma once

#include "mail_settings.h"
#include "send_outcome.h"

#include <QString>
#include <optional>

class PasswordStore;

// The passwords a send's logins use, fetched by whoever hands the engine
// the send (the window, talvenor-send): the engine itself reaches neither
// the keyring nor Data.ini.
struct LoginSecrets {
  QString smtpPassword;                // SMTP AUTH's, when the settings use it
  std::optional<QString> popPassword;  // given: the send logs in to POP first

  // Wipes both from memory.
  void wipe();
};

// The passwords from the store: SMTP AUTH's when smtp, the POP login's when
// pop. A keyring that does not give one stops the send before any
// connection: the failure to report, with nothing kept in secrets.
std::optional<SendFailure> fetchLoginSecrets(const PasswordStore& store, const MailSettings& settings, bool smtp,
                                             bool pop, LoginSecrets& secrets);
