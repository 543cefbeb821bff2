#include "keyring.h"

#include "keyring_backend.h"

#include <QCoreApplication>
#include <QLibrary>

namespace Keyring {

namespace {

// The keyring module, loaded on first use from beside the program (or,
// for programs of the build that live elsewhere, where the build put it),
// and never unloaded.
QLibrary* module() {
  static QLibrary* const loaded = [] {
    for (const QString& folder : {QCoreApplication::applicationDirPath(), QStringLiteral(TALVENOR_KEYRING_MODULE_DIR)}) {
      auto* library = new QLibrary(folder + QLatin1Char('/') + QLatin1String(KeyringBackend::kModuleName));
      if (library->load()) return library;
      delete library;
    }
    return static_cast<QLibrary*>(nullptr);
  }();
  return loaded;
}

template <typename Function>
Function lookUp(const char* name) {
  QLibrary* library = module();
  return library ? reinterpret_cast<Function>(library->resolve(name)) : nullptr;
}

const QString kNoModule = QStringLiteral("キーリングを使う部品（%1）を読み込めませんでした。")
                              .arg(QLatin1String(KeyringBackend::kModuleName));

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

}  // namespace

bool serviceAnswers() {
  const auto answers = lookUp<TalvenorKeyringServiceAnswers>("talvenor_keyring_service_answers");
  return answers && answers();
}

Answer read(const QString& service, const QString& key) {
  const auto function = lookUp<TalvenorKeyringRead>("talvenor_keyring_read");
  if (!function) return noModule();
  QString secret;
  QString error;
  const int status = function(&service, &key, &secret, &error);
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
