#include "keyring.h"

#include "keyring_backend.h"
#include "trusted_module.h"

#include <QHash>
#include <QMutex>

#include <dlfcn.h>

namespace {

// The module in file (empty: the program's own), loaded on first use and
// never unloaded; a module that failed to load is not tried again.
void* module(const QString& file) {
  static QMutex mutex;
  static QHash<QString, void*> loaded;
  const QMutexLocker lock(&mutex);
  auto found = loaded.constFind(file);
  if (found != loaded.constEnd()) return *found;
  void* handle = file.isEmpty() ? TrustedModule::loadProgramModule(QLatin1String(KeyringBackend::kModuleFileName))
                                : TrustedModule::load(file);
  loaded.insert(file, handle);
  return handle;
}

Keyring::Answer answerFrom(int status, QString secret, QString error) {
  Keyring::Answer answer;
  answer.status = status == KeyringBackend::kOk         ? Keyring::Status::Ok
                  : status == KeyringBackend::kNotFound ? Keyring::Status::NotFound
                                                        : Keyring::Status::Failed;
  answer.secret = std::move(secret);
  answer.error = std::move(error);
  return answer;
}

Keyring::Answer noModule() {
  Keyring::Answer answer;
  answer.status = Keyring::Status::NoModule;
  return answer;
}

}  // namespace

template <typename Function>
Function Keyring::lookUp(const char* name) const {
  void* handle = module(moduleFile_);
  return handle ? reinterpret_cast<Function>(::dlsym(handle, name)) : nullptr;
}

bool Keyring::serviceAnswers() const {
  const auto answers = lookUp<TalvenorKeyringServiceAnswers>("talvenor_keyring_service_answers");
  return answers && answers();
}

Keyring::Answer Keyring::read(const QString& service, const QString& key) const {
  const auto function = lookUp<TalvenorKeyringRead>("talvenor_keyring_read");
  if (!function) return noModule();
  QString secret;
  QString error;
  const int status = function(&service, &key, &secret, &error, readWaitSeconds_);
  return answerFrom(status, std::move(secret), std::move(error));
}

Keyring::Answer Keyring::write(const QString& service, const QString& key, const QString& secret) const {
  const auto function = lookUp<TalvenorKeyringWrite>("talvenor_keyring_write");
  if (!function) return noModule();
  QString error;
  const int status = function(&service, &key, &secret, &error);
  return answerFrom(status, QString(), std::move(error));
}

Keyring::Answer Keyring::remove(const QString& service, const QString& key) const {
  const auto function = lookUp<TalvenorKeyringRemove>("talvenor_keyring_remove");
  if (!function) return noModule();
  QString error;
  const int status = function(&service, &key, &error);
  return answerFrom(status, QString(), std::move(error));
}
