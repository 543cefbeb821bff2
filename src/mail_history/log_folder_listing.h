#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What the log folder holds: the .eml files of its day folders. Only names
// and file times are read; symbolic links are passed over.
namespace LogFolderListing {

struct LogFile {
  QString path;
  qint64 modified = 0;  // ms since the epoch
  qint64 size = 0;
};

struct Listing {
  bool folderExists = false;
  QStringList dayFolders;  // full paths, by name (oldest day first)
  QList<LogFile> files;    // newest first by file time
};

Listing list(const QString& logFolder);

}  // namespace LogFolderListing
