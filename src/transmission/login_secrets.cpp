#include "login_secrets.h"

#include "password_store.h"
#include "plain_text.h"

namespace {

SendFailure keyringUnavailable(const KeyringTrouble& trouble) {
  SendFailure failure{SendFailure::Kind::KeyringUnavailable};
  failure.keyring = trouble;
  return failure;
}

}  // namespace

void LoginSecrets::wipe() {
  ::wipe(smtpPassword);
  if (popPassword) ::wipe(*popPassword);
  popPassword.reset();
}

std::optional<SendFailure> fetchLoginSecrets(const PasswordStore& store, const MailSettings& settings, bool smtp,
                                             bool pop, LoginSecrets& secrets) {
  KeyringTrouble trouble;
  if (smtp) {
    std::optional<QString> fetched = store.fetch(settings, PasswordStore::Which::Smtp, trouble);
    if (!fetched) return keyringUnavailable(trouble);
    secrets.smtpPassword = std::move(*fetched);
  }
  if (pop) {
    secrets.popPassword = store.fetch(settings, PasswordStore::Which::Pop, trouble);
    if (!secrets.popPassword) {
      secrets.wipe();
      return keyringUnavailable(trouble);
    }
  }
  return std::nullopt;
}
