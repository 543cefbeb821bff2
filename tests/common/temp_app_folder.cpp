#include "temp_app_folder.h"

#include "cp932.h"
#include "app_places.h"

#include <QFile>

TempAppFolder::TempAppFolder() { AppPlaces::useProgramFolder(path()); }

TempAppFolder::~TempAppFolder() { AppPlaces::useProgramFolder(QString()); }

QString TempAppFolder::path() const { return dir_.path() + QLatin1Char('/'); }

QString TempAppFolder::iniPath() const { return settingsFile().path(); }

SettingsFile TempAppFolder::settingsFile() const { return SettingsFile(path()); }

void TempAppFolder::writeIni(const QString& text) const {
  QString crlf = text;
  crlf.replace(QLatin1String("\n"), QLatin1String("\r\n"));
  writeIniBytes(Cp932::fromUnicode(crlf));
}

void TempAppFolder::writeIniBytes(const QByteArray& bytes) const {
  QFile file(iniPath());
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

QByteArray TempAppFolder::iniBytes() const {
  QFile file(iniPath());
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TempAppFolder::copyFixture(const QString& relativePath) const {
  const QString source = qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/tests/") + relativePath;
  QFile::remove(iniPath());
  QFile::copy(source, iniPath());
  QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}
