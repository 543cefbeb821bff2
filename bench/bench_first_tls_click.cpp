// The first send over TLS in a process, through the main window: the time
// from the click on 送信 to the completion box, with the TLS backend loaded
// as the window loads it (after its first paint, when the settings
// encrypt) or not loaded at the click, as every first send over TLS found
// it before the window did that.
//
//   bench_first_tls_click <folder with Data.ini> --loaded|--not-loaded [--idle MS]
//
// The settings must encrypt (bench/send_command_settings --starttls|--ssl),
// and the server's certificate must verify through the system's trusted
// certificates (bench/run-benchmarks binds the test CA over /etc/ssl/certs).
// --idle is the time between the first paint and the click: a user typing
// (default 500 ms). With --not-loaded the window starts with the same
// settings unencrypted, so that it loads nothing after its first paint,
// and is given the encrypted ones just before the click, as the settings
// window gives them. Prints "click-to-completion-ms N".

#include "app_places.h"
#include "find_child.h"
#include "main_window.h"
#include "mail_settings.h"
#include "mail_transmission.h"
#include "send_rig.h"
#include "settings_file.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 3 || (std::strcmp(argv[2], "--loaded") != 0 && std::strcmp(argv[2], "--not-loaded") != 0)) {
    std::fprintf(stderr, "usage: bench_first_tls_click <folder> --loaded|--not-loaded [--idle MS]\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const bool loaded = std::strcmp(argv[2], "--loaded") == 0;
  const int idle = argc > 4 && std::strcmp(argv[3], "--idle") == 0 ? std::atoi(argv[4]) : 500;

  AppPlaces::useProgramFolder(folder);
  const SettingsFile file(folder);
  const MailSettings encrypted = DataIni::readMailSettings(file.read());
  if (!MailTransmission::usesTls(encrypted)) {
    std::fprintf(stderr, "bench_first_tls_click: the settings in %s do not encrypt\n", qPrintable(folder));
    return 2;
  }
  if (!loaded) {
    MailSettings plain = encrypted;
    plain.smtpSecurity = MailSettings::SmtpSecurity::None;
    file.update([&plain](IniDocument& ini) {
      DataIni::writeMailSettings(ini, plain);
      return true;
    });
  }

  QElapsedTimer clock;
  double completedAfter = -1;
  SendRig::answerBoxes([&](bool completed) {
    if (completed) completedAfter = double(clock.nsecsElapsed()) / 1e6;
    QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(); }, Qt::QueuedConnection);
  });

  MainWindow window(file);
  window.showAndLoad();
  QTest::qWait(idle);
  if (!loaded) window.runningSettings() = encrypted;
  child<QComboBox>(window, "recipientBox")->setEditText(SendRig::kTo);
  child<QLineEdit>(window, "subjectEdit")->setText(SendRig::kSubject);
  child<QPlainTextEdit>(window, "bodyEdit")->setPlainText(SendRig::body());

  QMetaObject::invokeMethod(
      &app,
      [&] {
        clock.start();
        child<QPushButton>(window, "sendButton")->click();
      },
      Qt::QueuedConnection);
  QApplication::exec();

  if (!loaded) {
    file.update([&encrypted](IniDocument& ini) {
      DataIni::writeMailSettings(ini, encrypted);
      return true;
    });
  }
  if (completedAfter < 0) return 1;
  std::printf("click-to-completion-ms %.3f\n", completedAfter);
  return 0;
}
