#include "temp_app_folder.h"

#include "ansi_code_page.h"
#include "mod_ini.h"

#include <QFile>

TempAppFolder::TempAppFolder() { ModINI::setAppFolderForTesting(path()); }

TempAppFolder::~TempAppFolder() { ModINI::setAppFolderForTesting(QString()); }

QString TempAppFolder::path() const { return dir_.path() + QLatin1Char('/'); }

QString TempAppFolder::iniPath() const { return path() + ModINI::kFileName; }

void TempAppFolder::writeIni(const QString& text) const {
  QString crlf = text;
  crlf.replace(QLatin1String("\n"), QLatin1String("\r\n"));
  writeIniBytes(AnsiCodePage::fromUnicode(crlf));
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
