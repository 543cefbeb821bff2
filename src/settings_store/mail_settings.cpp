#include "mail_settings.h"

#include "data_ini_layout.h"
#include "mod_ini.h"

namespace DataIni {

MailSettings readMailSettings() {
  const ModINI::ReadBatch oneRead;
  MailSettings settings;
  settings.recipient = readScrambled(Section::MAIL, Key::To);
  settings.from = readScrambled(Section::MAIL, Key::From);
  settings.smtpServer = readScrambled(Section::MAIL, Key::Server);
  settings.popBeforeSmtp = readFlag(Section::MAIL, Key::PBSMTP);
  settings.keepLog = readFlag(Section::MAIL, Key::OUTLOG);
  settings.popServer = readScrambled(Section::MAIL, Key::pServer);
  settings.popUser = readScrambled(Section::MAIL, Key::USER);
  settings.popPassword = readScrambled(Section::MAIL, Key::PASS);
  return settings;
}

void writeMailSettings(const MailSettings& settings) {
  writeScrambled(Section::MAIL, Key::To, settings.recipient);
  writeScrambled(Section::MAIL, Key::From, settings.from);
  writeScrambled(Section::MAIL, Key::Server, settings.smtpServer);
  writeFlag(Section::MAIL, Key::PBSMTP, settings.popBeforeSmtp);
  writeFlag(Section::MAIL, Key::OUTLOG, settings.keepLog);
  writeScrambled(Section::MAIL, Key::pServer, settings.popServer);
  writeScrambled(Section::MAIL, Key::USER, settings.popUser);
  writeScrambled(Section::MAIL, Key::PASS, settings.popPassword);
}

}  // namespace DataIni
