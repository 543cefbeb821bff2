#include "folder_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace FolderOpener {
bool open(const QString& folderPath) {
  // Goes through xdg-open on Linux; the program does not wait for it.
  return QDesktopServices::openUrl(QUrl::fromLocalFile(folderPath));
}

}  // namespace FolderOpener
