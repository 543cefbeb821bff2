#include "application_setup.h"

#include "application_icon_pixels.h"
#include "talvenor_version.h"

#include <QApplication>
#include <QImage>
#include <QLibraryInfo>
#include <QLocale>
#include <QPixmap>
#include <QTranslator>

namespace ApplicationSetup {

QIcon applicationIcon() {
  // Drawn from the SVG when the program was built, at the sizes desktops
  // ask a window for: nothing to load or decode at start.
  QIcon icon;
  for (int i = 0; i < ApplicationIconPixels::kImageCount; ++i) {
    const ApplicationIconPixels::Image& image = ApplicationIconPixels::kImages[i];
    icon.addPixmap(QPixmap::fromImage(QImage(reinterpret_cast<const uchar*>(image.pixels), image.size, image.size,
                                             QImage::Format_ARGB32_Premultiplied)));
  }
  return icon;
}

void prepare(QApplication& app, QTranslator& qtTranslator) {
  QApplication::setApplicationName(QStringLiteral("Talvenor"));
  QApplication::setApplicationVersion(QLatin1String(TalvenorVersion::kText));
  // Wayland desktops match the window to its menu entry by this name.
  QApplication::setDesktopFileName(QLatin1String(TalvenorVersion::kApplicationId));
  QApplication::setWindowIcon(applicationIcon());
  if (qtTranslator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&qtTranslator);
}

}  // namespace ApplicationSetup
