#include "folder_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace FolderOpener {
namespace {
Opener& testOpener() {
  static Opener opener;
  return opener;
}
}  // namespace

bool open(const QString& folderPath) {
  if (testOpener()) return testOpener()(folderPath);
  // Goes through xdg-open on Linux; the program does not wait for it.
  return QDesktopServices::openUrl(QUrl::fromLocalFile(folderPath));
}

Opener setOpenerForTesting(Opener opener) { return std::exchange(testOpener(), std::move(opener)); }

}  // namespace FolderOpener
