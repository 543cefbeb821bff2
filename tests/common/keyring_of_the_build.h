#pragma once

#include "keyring.h"
#include "password_store.h"
#include "settings_file.h"

// Test programs live outside the build's bin/ folder, where the keyring
// module is: they hand what they build this keyring instead of the
// program's own.
Keyring keyringOfTheBuild();

// The passwords of the settings in use (a TempAppFolder's while one
// lives), with the build's keyring.
inline PasswordStore passwordsInUse() { return PasswordStore(SettingsFile::inUse(), keyringOfTheBuild()); }
