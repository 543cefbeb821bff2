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

void open(const QString& folderPath) {
  if (testOpener()) {
    testOpener()(folderPath);
    return;
  }
  // Goes through xdg-open on Linux; the program does not wait for it.
  QDesktopServices::openUrl(QUrl::fromLocalFile(folderPath));
}

Opener setOpenerForTesting(Opener opener) { return std::exchange(testOpener(), std::move(opener)); }

}  // namespace FolderOpener
