#pragma once

#include <QString>
#include <cstdint>

// The [MAIL] settings the program sends with: read from Data.ini at start
// and on every save of the settings window, and held by the main window for
// the run. Addresses, server names and the POP login are scrambled in the
// file and plain here.
struct MailSettings {
  static constexpr std::uint16_t kSmtpPort = 25;
  static constexpr std::uint16_t kPopPort = 110;

  QString recipient;         // To: the recipient shown when the program starts
  QString from;              // From: the sender address
  QString smtpServer;        // Server
  std::uint16_t smtpPort = kSmtpPort;
  bool popBeforeSmtp = false;  // PBSMTP: log in to POP before the first send of a run
  bool keepLog = false;        // OUTLOG: keep every sent mail under mailLOG
  QString popServer;         // pServer
  std::uint16_t popPort = kPopPort;
  QString popUser;           // USER
  QString popPassword;       // PASS: held and sent as plain text

  bool operator==(const MailSettings&) const = default;
};

namespace DataIni {

// Section MAIL as Data.ini holds it; a missing or malformed value reads as
// empty (texts) or false (switches).
MailSettings readMailSettings();

// Stores section MAIL, key by key in the file's own order (To, From,
// Server, PBSMTP, OUTLOG, pServer, USER, PASS), changing no other line.
void writeMailSettings(const MailSettings& settings);

}  // namespace DataIni
