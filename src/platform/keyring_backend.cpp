// The keyring's side that needs QtKeychain and QtDBus, built as a module of
// its own: the program loads it (and the libraries under it: libsecret,
// GLib, D-Bus) only when the user's passwords are in the keyring, or the
// settings ask whether one answers. Everyone else starts without them.
#include "keyring_backend.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace {

const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

// Runs the job to its end; the keyring may show its unlock prompt
// meanwhile. With a limit (seconds, 0: none), a session bus that takes the
// call and never answers does not hold the caller for ever: past it the
// keyring counts as unreachable.
int run(QKeychain::Job& job, QString* error, int limitSeconds = 0) {
  job.setAutoDelete(false);
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  if (limitSeconds > 0) limit.start(limitSeconds * 1000);
  job.start();
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (limitSeconds > 0 && !limit.isActive()) {
    *error = QStringLiteral("キーリングが %1 秒以内に応答しませんでした。").arg(limitSeconds);
    return KeyringBackend::kFailed;
  }
  switch (job.error()) {
    case QKeychain::NoError: return KeyringBackend::kOk;
    case QKeychain::EntryNotFound: return KeyringBackend::kNotFound;
    default:
      *error = job.errorString();
      return KeyringBackend::kFailed;
  }
}

}  // namespace

extern "C" {

bool talvenor_keyring_service_answers() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  if (bus.interface()->isServiceRegistered(kSecretService).value()) return true;
  return bus.interface()->activatableServiceNames().value().contains(kSecretService);
}

int talvenor_keyring_read(const QString* service, const QString* key, QString* secret, QString* error,
                          int limitSeconds) {
  QKeychain::ReadPasswordJob job(*service);
  job.setKey(*key);
  const int status = run(job, error, limitSeconds);
  if (status == KeyringBackend::kOk) *secret = job.textData();
  return status;
}

int talvenor_keyring_write(const QString* service, const QString* key, const QString* secret, QString* error) {
  QKeychain::WritePasswordJob job(*service);
  job.setKey(*key);
  job.setTextData(*secret);
  return run(job, error);
}

int talvenor_keyring_remove(const QString* service, const QString* key, QString* error) {
  QKeychain::DeletePasswordJob job(*service);
  job.setKey(*key);
  return run(job, error);
}

}  // extern "C"
