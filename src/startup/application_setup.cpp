#include "application_setup.h"

#include "talvenor_version.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ApplicationSetup {

void Prepare(QApplication& app, QTranslator& qtTranslator) {
  QApplication::setApplicationName(QStringLiteral("Talvenor"));
  QApplication::setApplicationVersion(QLatin1String(TalvenorVersion::kText));
  if (qtTranslator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&qtTranslator);
}

}  // namespace ApplicationSetup
