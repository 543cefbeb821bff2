#pragma once

#include "mail_settings.h"

#include <QString>
#include <cstdint>

// What a lookup found for an address: the values the settings dialog fills
// in when the user takes them, and where they came from. Nothing here is
// saved by itself.
struct FoundAccount {
  enum class Source {
    ProviderTable,   // the program's own providers.xml
    AutoconfigHost,  // https://autoconfig.<domain>/mail/config-v1.1.xml
    WellKnown,       // https://<domain>/.well-known/autoconfig/mail/config-v1.1.xml
    DnsSrv,          // _submissions._tcp / _submission._tcp (and _pop3s / _pop3)
  };

  Source source = Source::ProviderTable;
  QString sourceDetail;   // the address asked, or the record's name
  QString providerName;   // displayName, when the answer gave one

  QString smtpServer;
  std::uint16_t smtpPort = MailSettings::kSmtpPort;
  MailSettings::SmtpSecurity smtpSecurity = MailSettings::SmtpSecurity::None;
  bool smtpAuth = false;
  QString smtpUser;       // the login name, placeholders filled in
  QString smtpUserForm;   // as published: "%EMAILADDRESS%", "%EMAILLOCALPART%", ...
  // The provider takes only OAuth2 for sending: no password method at all.
  bool oauth2Only = false;

  bool hasPop = false;
  QString popServer;
  std::uint16_t popPort = MailSettings::kPopPort;
  MailSettings::PopSecurity popSecurity = MailSettings::PopSecurity::None;
  QString popUser;
};
