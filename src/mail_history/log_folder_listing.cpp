#include "log_folder_listing.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace LogFolderListing {

Listing list(const QString& logFolder) {
  Listing listing;
  const QDir folder(logFolder);
  listing.folderExists = folder.exists();
  if (!listing.folderExists) return listing;

  const QStringList days = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
  for (const QString& day : days) {
    const QString dayFolder = folder.filePath(day);
    listing.dayFolders << dayFolder;
    QDirIterator files(dayFolder, {QStringLiteral("*.eml")}, QDir::Files | QDir::NoSymLinks | QDir::Hidden);
    while (files.hasNext()) {
      files.next();
      const QFileInfo info = files.fileInfo();
      listing.files.append({info.filePath(), info.lastModified().toMSecsSinceEpoch(), info.size()});
    }
  }
  std::stable_sort(listing.files.begin(), listing.files.end(),
                   [](const LogFile& a, const LogFile& b) { return a.modified > b.modified; });
  return listing;
}

}  // namespace LogFolderListing
