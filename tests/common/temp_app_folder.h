#pragma once

#include "settings_file.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A throw-away program folder: while the object lives, the program's
// places (Data.ini, mailLOG) are there.
class TempAppFolder {
 public:
  TempAppFolder();
  ~TempAppFolder();
  TempAppFolder(const TempAppFolder&) = delete;
  TempAppFolder& operator=(const TempAppFolder&) = delete;

  QString path() const;  // with a trailing "/"
  QString iniPath() const;
  SettingsFile settingsFile() const;  // its Data.ini

  // Writes Data.ini from UTF-8 text: converted to CP932, "\n" becomes CR LF.
  void writeIni(const QString& text) const;
  void writeIniBytes(const QByteArray& bytes) const;
  QByteArray iniBytes() const;
  // Copies a fixture file from the source tree (path relative to tests/).
  void copyFixture(const QString& relativePath) const;

 private:
  QTemporaryDir dir_;
};
