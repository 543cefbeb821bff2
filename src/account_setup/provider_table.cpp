#include "provider_table.h"

#include "email_address_parts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString ProviderTable::path(const QString& programFolder) {
  const QString folder = QDir(programFolder).absolutePath() + QLatin1Char('/');
  const QString beside = folder + kFileName;
  if (QFileInfo::exists(beside)) return beside;
  const QString installed = QDir::cleanPath(folder + QStringLiteral("../share/talvenor/") + kFileName);
  return QFileInfo::exists(installed) ? installed : QString();
}

ClientConfig::Reading ProviderTable::lookUp(const QString& path, const EmailAddressParts& address) {
  QFile file(path);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return {};
  // The table is the program's own and may be longer than an answer from
  // the network; it is still read whole only up to a sane bound.
  ClientConfig::Reading reading = ClientConfig::read(file.read(1024 * 1024), address, true);
  if (reading.account) {
    reading.account->source = FoundAccount::Source::ProviderTable;
    reading.account->sourceDetail = QDir::toNativeSeparators(path);
  }
  return reading;
}
