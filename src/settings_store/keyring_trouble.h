#pragma once

#include <QString>

// Why the keyring did not give a password or did not keep one: what
// happened, and the keyring's own words. The user's text is made where the
// user is told (SendReport::keyringWords).
struct KeyringTrouble {
  enum class Kind {
    NotFound,  // no entry (a locked keyring can hide its entries)
    NoModule,  // the program's keyring module could not be loaded
    Failed,    // no service, a locked keyring, a refusal: words says which
  };
  Kind kind = Kind::Failed;
  QString words;  // Failed: the keyring's own error, as it gave it
};
