// Asks the keyring module whether a Secret Service answers, as the program
// does when it first needs the keyring. The tests copy this program into a
// folder of their making, with or without a module beside it.
#include "keyring.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  Keyring().serviceAnswers();
  return 0;
}
