#pragma once

#include <QString>

// What the keyring module exports, for keyring.cpp to look up by name. The
// QString arguments are the program's own objects: the module is built
// with the program and the same Qt.
namespace KeyringBackend {
constexpr int kOk = 0;
constexpr int kNotFound = 1;
constexpr int kFailed = 2;

inline constexpr const char* kModuleFileName = "talvenor_keyring.so";
}  // namespace KeyringBackend

extern "C" {
using TalvenorKeyringServiceAnswers = bool (*)();
// limitSeconds: how long the answer is waited for; 0: as long as it takes.
using TalvenorKeyringRead = int (*)(const QString* service, const QString* key, QString* secret, QString* error,
                                    int limitSeconds);
using TalvenorKeyringWrite = int (*)(const QString* service, const QString* key, const QString* secret,
                                     QString* error);
using TalvenorKeyringRemove = int (*)(const QString* service, const QString* key, QString* error);
}
