#include "send_command.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
  // A server gone away must be an error to report, not a signal that ends
  // the process unreported.
  std::signal(SIGPIPE, SIG_IGN);
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("talvenor-send"));
  const int status = static_cast<int>(SendCommand::run(QCoreApplication::arguments()));
  // The mail is sent and its log file closed: what is left is freeing
  // memory the process gives back anyway and Qt's (and OpenSSL's)
  // clean-up at exit (over a million instructions after TLS). Only the output is
  // flushed.
  std::fflush(nullptr);
  std::_Exit(status);
}
