#include "send_command.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("talvenor-send"));
  return static_cast<int>(SendCommand::run(QCoreApplication::arguments()));
}
