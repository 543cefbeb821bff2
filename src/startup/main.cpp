#include "message_box.h"
#include "mod_dbl_launch.h"
#include "single_instance.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Talvenor"));
  QApplication::setApplicationVersion(QStringLiteral("2.1.0"));

  // Standard buttons and the text boxes' menus speak Japanese like the rest.
  QTranslator qtTranslator;
  if (qtTranslator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTranslator);

  MessageBox::setResponder(MessageBox::screenResponder());

  int exitCode = 0;
  ModDblLaunch::Main(SingleInstance::instanceKeyForExecutable(), exitCode);
  return exitCode;
}
