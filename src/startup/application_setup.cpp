#include "application_setup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ApplicationSetup {

void Prepare(QApplication& app, QTranslator& qtTranslator) {
  QApplication::setApplicationName(QStringLiteral("Talvenor"));
  QApplication::setApplicationVersion(QStringLiteral("2.1.0"));
  if (qtTranslator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&qtTranslator);
}

}  // namespace ApplicationSetup
