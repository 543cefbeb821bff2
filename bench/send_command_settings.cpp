// Writes the Data.ini that talvenor-send reads in the benchmark: the
// shipped file's carriers, and the mail settings of bench_send_once's send
// (the same addresses), plain or encrypted, with or without AUTH.
//
//   send_command_settings <folder> <port> [--starttls|--ssl] [--auth USER:PASS]
//
// The folder must hold a copy of the shipped Data.ini.

#include "mail_settings.h"
#include "settings_file.h"
#include "send_rig.h"

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: send_command_settings <folder> <port> [--starttls|--ssl] [--auth USER:PASS]\n");
    return 2;
  }
  const SettingsFile file(QString::fromLocal8Bit(argv[1]));
  MailSettings settings = SendRig::serverAt(static_cast<std::uint16_t>(std::atoi(argv[2])));
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--starttls") == 0 || std::strcmp(argv[i], "--ssl") == 0) {
      settings.smtpServer = QStringLiteral("localhost");
      settings.smtpSecurity = std::strcmp(argv[i], "--ssl") == 0 ? MailSettings::SmtpSecurity::Ssl
                                                                 : MailSettings::SmtpSecurity::StartTls;
    } else if (std::strcmp(argv[i], "--auth") == 0 && i + 1 < argc) {
      const QString login = QString::fromLocal8Bit(argv[++i]);
      settings.smtpAuth = true;
      settings.smtpUser = login.section(QLatin1Char(':'), 0, 0);
      settings.smtpPassword = login.section(QLatin1Char(':'), 1);
    }
  }
  const bool written = file.update([&settings](IniDocument& ini) {
    DataIni::writeMailSettings(ini, settings);
    return true;
  });
  return written ? 0 : 1;
}
