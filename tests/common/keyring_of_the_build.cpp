#include "keyring_of_the_build.h"

Keyring keyringOfTheBuild() { return Keyring(QStringLiteral(TALVENOR_KEYRING_MODULE)); }
