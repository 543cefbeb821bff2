// One whole-process headless send through the program's code: the send
// command, the socket control and the SMTP dialogue to 127.0.0.1 on the
// given port, message boxes answered at once. Exits 0 once the program
// reports the completed send, 1 on any other outcome.
//
//   bench_send_once <port>

#include "mail_transmission.h"
#include "send_rig.h"
#include "winsock.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdlib>

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_send_once <port>\n");
    return 2;
  }
  SendRig::useServer(static_cast<std::uint16_t>(std::atoi(argv[1])));

  Winsock winsock;
  MailTransmission transmission(winsock);
  int exitCode = 1;
  SendRig::answerBoxes([&exitCode](bool completed) {
    exitCode = completed ? 0 : 1;
    // After the handler that asked has returned.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(); },
                              Qt::QueuedConnection);
  });

  QMetaObject::invokeMethod(
      &app, [&] { transmission.CmdMail_Click(SendRig::kTo, SendRig::kSubject, SendRig::body()); },
      Qt::QueuedConnection);
  QCoreApplication::exec();
  return exitCode;
}
