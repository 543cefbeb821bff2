#include "application_setup.h"

#include "talvenor_version.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTranslator>

namespace ApplicationSetup {

QIcon applicationIcon() {
  // Drawn from the SVG by Qt SVG itself, so that no icon-engine plugin has
  // to be found at run time; the sizes desktops ask a window for.
  QSvgRenderer renderer(QStringLiteral(":/icons/") + QLatin1String(TalvenorVersion::kApplicationId) +
                        QStringLiteral(".svg"));
  QIcon icon;
  if (!renderer.isValid()) return icon;
  for (const int size : {16, 24, 32, 48, 64, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
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
