// One whole-process headless send through the program's code: the send
// command, the socket control and the SMTP dialogue to 127.0.0.1 on the
// given port, message boxes answered at once. Exits 0 once the program
// reports the completed send, 1 on any other outcome.
//
//   bench_send_once <port> [--phases] [--starttls|--ssl] [--auth USER:PASS] [--ca FILE]
//   bench_send_once --load-only
//
// --starttls and --ssl send to "localhost" encrypted (the certificate must
// verify; --ca adds the CA that signed it to Qt's trusted certificates),
// and --auth logs in with SMTP AUTH.
//
// With --phases it prints on standard error when main() began, when the
// send began, when it completed and when the event loop ended, as
// milliseconds on the monotonic clock, so that the whole-process figure can
// be split into loading, set-up, dialogue and exit.
//
// --load-only ends at once in main(): the cost of a process that loads the
// same libraries and does nothing.

#include "mail_transmission.h"
#include "send_boxes.h"
#include "send_rig.h"
#include "tcp_socket_control.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSslConfiguration>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool phases = false;

// The moment, on the monotonic clock the runner reads too (Python's
// time.monotonic), so that it can tell the time before main().
void phase(const char* name) {
  if (!phases) return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(stderr, "phase %s %.3f\n", name, double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 2 && std::strcmp(argv[1], "--load-only") == 0) return 0;
  for (int i = 2; i < argc; ++i)
    if (std::strcmp(argv[i], "--phases") == 0) phases = true;
  phase("main");
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_send_once <port> [--phases]\n");
    return 2;
  }
  MailSettings settings = SendRig::serverAt(static_cast<std::uint16_t>(std::atoi(argv[1])));
  for (int i = 2; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    const QString next = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
    if (arg == QLatin1String("--starttls") || arg == QLatin1String("--ssl")) {
      settings.smtpServer = QStringLiteral("localhost");
      settings.smtpSecurity =
          arg == QLatin1String("--ssl") ? MailSettings::SmtpSecurity::Ssl : MailSettings::SmtpSecurity::StartTls;
    } else if (arg == QLatin1String("--auth")) {
      settings.smtpAuth = true;
      settings.smtpUser = next.section(QLatin1Char(':'), 0, 0);
      settings.smtpPassword = next.section(QLatin1Char(':'), 1);
    } else if (arg == QLatin1String("--ca")) {
      QSslConfiguration config = QSslConfiguration::defaultConfiguration();
      config.addCaCertificates(next);
      QSslConfiguration::setDefaultConfiguration(config);
    }
  }

  TcpSocketControl socket;
  MailTransmission transmission(socket);
  SendBoxes sendBoxes(transmission, settings, PasswordStore(SettingsFile::inUse(), Keyring()));
  int exitCode = 1;
  SendRig::answerBoxes([&exitCode](bool completed) {
    phase("completed");
    exitCode = completed ? 0 : 1;
    // After the handler that asked has returned.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(); },
                              Qt::QueuedConnection);
  });

  QMetaObject::invokeMethod(
      &app,
      [&] {
        phase("send");
        sendBoxes.send(SendRig::kTo, SendRig::kSubject, SendRig::body());
      },
      Qt::QueuedConnection);
  QCoreApplication::exec();
  phase("exec-returned");
  return exitCode;
}
