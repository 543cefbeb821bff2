#include "keyring.h"

#include "keyring_backend.h"
#include "trusted_module.h"

#include <dlfcn.h>

namespace Keyring {

namespace {

QString& moduleFileForTesting() {
  static QString path;
  return path;
}

// The keyring module, loaded on first use from beside the program, or from
// the library folder of an installed program (<prefix>/lib/talvenor beside
// <prefix>/bin), and never unloaded.
void* module() {
  static void* const loaded = []() -> void* {
    if (!moduleFileForTesting().isEmpty()) return TrustedModule::load(moduleFileForTesting());
    return TrustedModule::loadProgramModule(QLatin1String(KeyringBackend::kModuleFileName));
  }();
  return loaded;
}

template <typename Function>
Function lookUp(const char* name) {
  void* handle = module();
  return handle ? reinterpret_cast<Function>(::dlsym(handle, name)) : nullptr;
}

const QString kNoModule = QStringLiteral("キーリングを使う部品（%1）を読み込めませんでした。")
                              .arg(QLatin1String(KeyringBackend::kModuleFileName));

Answer answerFrom(int status, QString secret, QString error) {
  Answer answer;
  answer.status = status == KeyringBackend::kOk         ? Status::Ok
                  : status == KeyringBackend::kNotFound ? Status::NotFound
                                                        : Status::Failed;
  answer.secret = std::move(secret);
  answer.error = std::move(error);
  return answer;
}

Answer noModule() { return answerFrom(KeyringBackend::kFailed, QString(), kNoModule); }

int& readLimitSeconds() {
  static int seconds = 0;
  return seconds;
}

}  // namespace

void limitReadWait(int seconds) { readLimitSeconds() = seconds; }

void useModuleFileForTesting(const QString& path) { moduleFileForTesting() = path; }

bool serviceAnswers() {
  const auto answers = lookUp<TalvenorKeyringServiceAnswers>("talvenor_keyring_service_answers");
  return answers && answers();
}

Answer read(const QString& service, const QString& key) {
  const auto function = lookUp<TalvenorKeyringRead>("talvenor_keyring_read");
  if (!function) return noModule();
  QString secret;
  QString error;
  const int status = function(&service, &key, &secret, &error, readLimitSeconds());
  return answerFrom(status, std::move(secret), std::move(error));
}

Answer write(const QString& service, const QString& key, const QString& secret) {
  const auto function = lookUp<TalvenorKeyringWrite>("talvenor_keyring_write");
  if (!function) return noModule();
  QString error;
  const int status = function(&service, &key, &secret, &error);
  return answerFrom(status, QString(), std::move(error));
}

Answer remove(const QString& service, const QString& key) {
  const auto function = lookUp<TalvenorKeyringRemove>("talvenor_keyring_remove");
  if (!function) return noModule();
  QString error;
  const int status = function(&service, &key, &error);
  return answerFrom(status, QString(), std::move(error));
}

}  // namespace Keyring
