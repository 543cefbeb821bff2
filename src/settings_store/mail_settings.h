#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The [MAIL] settings the program sends with: read from Data.ini at start
// and on every save of the settings window, and held by the main window for
// the run. Addresses, server names and the POP login are scrambled in the
// file and plain here. The passwords stay in their store (Data.ini or the
// keyring) until a login or the settings window needs them.
struct MailSettings {
  static constexpr std::uint16_t kSmtpPort = 25;
  static constexpr std::uint16_t kPopPort = 110;
  // Minutes a POP before SMTP login is honoured (providers commonly allow 5 to 10).
  static constexpr int kPopIntervalMinutes = 5;

  // How the connection to each server is protected.
  enum class SmtpSecurity { None, StartTls, Ssl };  // "None", "STARTTLS", "SSL"
  enum class PopSecurity { None, Stls, Ssl };       // "None", "STLS", "SSL"
  // The mail text: raw Shift-JIS without MIME headers (as always), or MIME.
  enum class Charset { ShiftJis, Iso2022Jp, Utf8 };  // "Shift_JIS", "ISO-2022-JP", "UTF-8"
  // Where the passwords are kept: scrambled in Data.ini, or in the desktop's keyring.
  enum class PasswordStore { File, Keyring };  // "File", "Keyring"

  // The port each server listens on when none is given: 25, 587 or 465;
  // 110 (also for STLS) or 995.
  static std::uint16_t defaultPort(SmtpSecurity security);
  static std::uint16_t defaultPort(PopSecurity security);

  QString recipient;         // To: the recipient shown when the program starts
  QString from;              // From: the sender address
  QString smtpServer;        // Server
  SmtpSecurity smtpSecurity = SmtpSecurity::None;  // SmtpSecurity
  std::uint16_t smtpPort = kSmtpPort;              // SmtpPort
  bool smtpAuth = false;     // SmtpAuth: log in with SMTP AUTH before MAIL FROM
  QString smtpUser;          // SmtpUser
  // SmtpPass. Each password: the one to use, once known; none: still in
  // its store, fetched by PasswordStore::fetch when a login starts.
  std::optional<QString> smtpPassword;
  Charset charset = Charset::ShiftJis;  // Charset
  bool popBeforeSmtp = false;  // PBSMTP: log in to POP before the first send of a run
  bool keepLog = false;        // OUTLOG: keep every sent mail under mailLOG
  QString popServer;         // pServer
  PopSecurity popSecurity = PopSecurity::None;  // PopSecurity
  std::uint16_t popPort = kPopPort;             // PopPort
  // PopInterval: minutes after which the POP login is done again before
  // the next send; 0: before every send.
  int popIntervalMinutes = kPopIntervalMinutes;
  // SmtpTimeout: seconds any server may take to answer, POP included; 0
  // (absent or invalid): RFC 5321's limit for each wait.
  int replyTimeoutSeconds = 0;
  QString popUser;           // USER
  std::optional<QString> popPassword;  // PASS: sent as plain text
  PasswordStore passwordStore = PasswordStore::File;  // PasswordStore

  bool operator==(const MailSettings&) const = default;
};

class IniDocument;

namespace DataIni {

// Section MAIL as the file holds it; a missing or malformed value reads as
// empty (texts) or false (switches). The passwords are left in the file.
MailSettings readMailSettings(const IniDocument& ini);

// Stores section MAIL, key by key in the file's own order (To, From,
// Server, PBSMTP, OUTLOG, pServer, USER, PASS), changing no other line.
// The keys for sending through a provider follow; each is written only
// when its value is not the default or the file has it already, so a
// Data.ini that never used them stays as it was. A password not held stays
// as the file has it; with the keyring chosen, PASS and SmtpPass are
// written empty (PasswordStore::save puts them in the keyring).
void writeMailSettings(IniDocument& ini, const MailSettings& settings);

// The text each security value is stored as, and back (unknown: None).
QString securityText(MailSettings::SmtpSecurity security);
QString securityText(MailSettings::PopSecurity security);
MailSettings::SmtpSecurity parseSmtpSecurity(const QString& text);
MailSettings::PopSecurity parsePopSecurity(const QString& text);
QString charsetText(MailSettings::Charset charset);
MailSettings::Charset parseCharset(const QString& text);
QString passwordStoreText(MailSettings::PasswordStore store);
MailSettings::PasswordStore parsePasswordStore(const QString& text);
// A whole number from 1 to 65535, or nothing.
std::optional<std::uint16_t> parsePort(const QString& text);

}  // namespace DataIni
