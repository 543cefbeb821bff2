// Writes settings in an endless loop until it is killed: key k<i> of
// [MAIL] gets "new<i>-<round>". The crash-safety test kills it at random.
#include "settings_file.h"

#include <QCoreApplication>
#include <QString>

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc < 3) return 2;
  const SettingsFile settings(QString::fromLocal8Bit(argv[1]));
  const int keys = QString::fromLocal8Bit(argv[2]).toInt();
  for (int round = 0;; ++round) {
    for (int i = 0; i < keys; ++i)
      settings.write(QStringLiteral("MAIL"), QStringLiteral("k%1").arg(i), QStringLiteral("new%1-%2").arg(i).arg(round));
  }
}
