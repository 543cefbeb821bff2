#include "mail_settings.h"

#include "data_ini_layout.h"
#include "ini_document.h"

std::uint16_t MailSettings::defaultPort(SmtpSecurity security) {
  switch (security) {
    case SmtpSecurity::StartTls: return 587;
    case SmtpSecurity::Ssl: return 465;
    case SmtpSecurity::None: break;
  }
  return kSmtpPort;
}

std::uint16_t MailSettings::defaultPort(PopSecurity security) {
  return security == PopSecurity::Ssl ? std::uint16_t(995) : kPopPort;
}

namespace DataIni {

namespace {

// Writes the key when the value is not its default or the file has it.
void writeUnlessDefault(IniDocument& ini, const QString& key, const QString& text, bool isDefault) {
  if (isDefault && !ini.has(Section::MAIL, key)) return;
  ini.set(Section::MAIL, key, text);
}

void writeScrambledUnlessDefault(IniDocument& ini, const QString& key, const QString& text) {
  if (text.isEmpty() && !ini.has(Section::MAIL, key)) return;
  writeScrambled(ini, Section::MAIL, key, text);
}

}  // namespace

namespace {

// How each value is written in Data.ini; the first is the default, which an
// absent, empty or unknown text reads as. Names match without regard to case.
template <typename Enum>
struct Name {
  Enum value;
  const char* text;
};

using Smtp = MailSettings::SmtpSecurity;
using Pop = MailSettings::PopSecurity;
using Charset = MailSettings::Charset;
using Store = MailSettings::PasswordStore;
constexpr Name<Smtp> kSmtpSecurityNames[] = {{Smtp::None, "None"}, {Smtp::StartTls, "STARTTLS"}, {Smtp::Ssl, "SSL"}};
constexpr Name<Pop> kPopSecurityNames[] = {{Pop::None, "None"}, {Pop::Stls, "STLS"}, {Pop::Ssl, "SSL"}};
constexpr Name<Charset> kCharsetNames[] = {
    {Charset::ShiftJis, "Shift_JIS"}, {Charset::Iso2022Jp, "ISO-2022-JP"}, {Charset::Utf8, "UTF-8"}};
constexpr Name<Store> kPasswordStoreNames[] = {{Store::File, "File"}, {Store::Keyring, "Keyring"}};

template <typename Enum, std::size_t N>
QString nameOf(Enum value, const Name<Enum> (&names)[N]) {
  for (const Name<Enum>& name : names)
    if (name.value == value) return QString::fromLatin1(name.text);
  return QString::fromLatin1(names[0].text);
}

template <typename Enum, std::size_t N>
Enum valueNamed(const QString& text, const Name<Enum> (&names)[N]) {
  const QString t = text.trimmed();
  for (const Name<Enum>& name : names)
    if (t.compare(QLatin1String(name.text), Qt::CaseInsensitive) == 0) return name.value;
  return names[0].value;
}

}  // namespace

QString securityText(MailSettings::SmtpSecurity security) { return nameOf(security, kSmtpSecurityNames); }
QString securityText(MailSettings::PopSecurity security) { return nameOf(security, kPopSecurityNames); }
QString charsetText(MailSettings::Charset charset) { return nameOf(charset, kCharsetNames); }
QString passwordStoreText(MailSettings::PasswordStore store) { return nameOf(store, kPasswordStoreNames); }

MailSettings::SmtpSecurity parseSmtpSecurity(const QString& text) { return valueNamed(text, kSmtpSecurityNames); }
MailSettings::PopSecurity parsePopSecurity(const QString& text) { return valueNamed(text, kPopSecurityNames); }
MailSettings::Charset parseCharset(const QString& text) { return valueNamed(text, kCharsetNames); }
MailSettings::PasswordStore parsePasswordStore(const QString& text) { return valueNamed(text, kPasswordStoreNames); }

std::optional<std::uint16_t> parsePort(const QString& text) {
  const std::optional<std::int32_t> value = parseInt32(text);
  if (!value || *value < 1 || *value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

MailSettings readMailSettings(const IniDocument& ini) {
  MailSettings settings;
  settings.recipient = readScrambled(ini, Section::MAIL, Key::To);
  settings.from = readScrambled(ini, Section::MAIL, Key::From);
  settings.smtpServer = readScrambled(ini, Section::MAIL, Key::Server);
  settings.popBeforeSmtp = readFlag(ini, Section::MAIL, Key::PBSMTP);
  settings.keepLog = readFlag(ini, Section::MAIL, Key::OUTLOG);
  settings.popServer = readScrambled(ini, Section::MAIL, Key::pServer);
  settings.popUser = readScrambled(ini, Section::MAIL, Key::USER);

  settings.smtpSecurity = parseSmtpSecurity(ini.value(Section::MAIL, Key::SmtpSecurity));
  settings.smtpPort = parsePort(ini.value(Section::MAIL, Key::SmtpPort))
                          .value_or(MailSettings::defaultPort(settings.smtpSecurity));
  settings.smtpAuth = readFlag(ini, Section::MAIL, Key::SmtpAuth);
  settings.smtpUser = readScrambled(ini, Section::MAIL, Key::SmtpUser);
  settings.popSecurity = parsePopSecurity(ini.value(Section::MAIL, Key::PopSecurity));
  settings.popPort = parsePort(ini.value(Section::MAIL, Key::PopPort))
                         .value_or(MailSettings::defaultPort(settings.popSecurity));
  settings.charset = parseCharset(ini.value(Section::MAIL, Key::Charset));
  settings.passwordStore = parsePasswordStore(ini.value(Section::MAIL, Key::PasswordStore));
  // Whole minutes, up to a week; anything else is the default.
  const std::optional<std::int32_t> interval = parseInt32(ini.value(Section::MAIL, Key::PopInterval));
  if (interval && *interval >= 0 && *interval <= 7 * 24 * 60) settings.popIntervalMinutes = *interval;
  const std::optional<std::int32_t> timeout = parseInt32(ini.value(Section::MAIL, Key::SmtpTimeout));
  if (timeout && *timeout >= 1 && *timeout <= 3600) settings.replyTimeoutSeconds = *timeout;
  return settings;
}

void writeMailSettings(IniDocument& ini, const MailSettings& settings) {
  writeScrambled(ini, Section::MAIL, Key::To, settings.recipient);
  writeScrambled(ini, Section::MAIL, Key::From, settings.from);
  writeScrambled(ini, Section::MAIL, Key::Server, settings.smtpServer);
  writeFlag(ini, Section::MAIL, Key::PBSMTP, settings.popBeforeSmtp);
  writeFlag(ini, Section::MAIL, Key::OUTLOG, settings.keepLog);
  writeScrambled(ini, Section::MAIL, Key::pServer, settings.popServer);
  writeScrambled(ini, Section::MAIL, Key::USER, settings.popUser);
  // With the keyring chosen, the file keeps no password at all.
  const bool keyring = settings.passwordStore == MailSettings::PasswordStore::Keyring;
  if (keyring || settings.popPassword)
    writeScrambled(ini, Section::MAIL, Key::PASS, keyring ? QString() : *settings.popPassword);

  using Smtp = MailSettings::SmtpSecurity;
  using Pop = MailSettings::PopSecurity;
  writeUnlessDefault(ini, Key::SmtpSecurity, securityText(settings.smtpSecurity), settings.smtpSecurity == Smtp::None);
  writeUnlessDefault(ini, Key::SmtpPort, QString::number(settings.smtpPort),
                     settings.smtpPort == MailSettings::defaultPort(settings.smtpSecurity));
  writeUnlessDefault(ini, Key::SmtpAuth, flagText(settings.smtpAuth), !settings.smtpAuth);
  writeScrambledUnlessDefault(ini, Key::SmtpUser, settings.smtpUser);
  if (keyring || settings.smtpPassword)
    writeScrambledUnlessDefault(ini, Key::SmtpPass, keyring ? QString() : *settings.smtpPassword);
  writeUnlessDefault(ini, Key::PopSecurity, securityText(settings.popSecurity), settings.popSecurity == Pop::None);
  writeUnlessDefault(ini, Key::PopPort, QString::number(settings.popPort),
                     settings.popPort == MailSettings::defaultPort(settings.popSecurity));
  writeUnlessDefault(ini, Key::Charset, charsetText(settings.charset), settings.charset == MailSettings::Charset::ShiftJis);
  writeUnlessDefault(ini, Key::SmtpTimeout, QString::number(settings.replyTimeoutSeconds),
                     settings.replyTimeoutSeconds == 0);
  writeUnlessDefault(ini, Key::PopInterval, QString::number(settings.popIntervalMinutes),
                     settings.popIntervalMinutes == MailSettings::kPopIntervalMinutes);
  writeUnlessDefault(ini, Key::PasswordStore, passwordStoreText(settings.passwordStore), !keyring);
}

}  // namespace DataIni
