#include "keyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>

#include <qt6keychain/keychain.h>

namespace Keyring {

namespace {

const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

// Runs the job to its end and turns its outcome into an answer.
Answer run(QKeychain::Job& job) {
  job.setAutoDelete(false);
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  job.start();
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  Answer answer;
  switch (job.error()) {
    case QKeychain::NoError:
      answer.status = Status::Ok;
      break;
    case QKeychain::EntryNotFound:
      answer.status = Status::NotFound;
      break;
    default:
      answer.status = Status::Failed;
      answer.error = job.errorString();
      break;
  }
  return answer;
}

}  // namespace

bool serviceAnswers() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  if (bus.interface()->isServiceRegistered(kSecretService).value()) return true;
  return bus.interface()->activatableServiceNames().value().contains(kSecretService);
}

Answer read(const QString& service, const QString& key) {
  QKeychain::ReadPasswordJob job(service);
  job.setKey(key);
  Answer answer = run(job);
  if (answer.status == Status::Ok) answer.secret = job.textData();
  return answer;
}

Answer write(const QString& service, const QString& key, const QString& secret) {
  QKeychain::WritePasswordJob job(service);
  job.setKey(key);
  job.setTextData(secret);
  return run(job);
}

Answer remove(const QString& service, const QString& key) {
  QKeychain::DeletePasswordJob job(service);
  job.setKey(key);
  return run(job);
}

}  // namespace Keyring
