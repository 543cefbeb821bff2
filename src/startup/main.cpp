#include "application_setup.h"
#include "message_box.h"
#include "start_procedure.h"
#include "single_instance.h"

#include <QApplication>
#include <QTranslator>

#include <sys/resource.h>

int main(int argc, char* argv[]) {
  // No core file: it would hold the mail passwords in clear.
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);

  QApplication app(argc, argv);
  QTranslator qtTranslator;
  ApplicationSetup::prepare(app, qtTranslator);
  MessageBox::setResponder(MessageBox::screenResponder());

  int exitCode = 0;
  StartProcedure::run(SingleInstance::instanceKeyForExecutable(), exitCode);
  return exitCode;
}
