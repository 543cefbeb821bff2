#pragma once

#include "mail_settings.h"

#include <QMetaType>
#include <QString>
#include <cstdint>
#include <optional>

// The sending settings a connection test tries: the dialog's values as
// they stand, unsaved.
struct ProbeSettings {
  QString server;
  std::uint16_t port = MailSettings::kSmtpPort;
  MailSettings::SmtpSecurity security = MailSettings::SmtpSecurity::None;
  bool auth = false;
  QString user;
  QString password;

  // "smtp.example.jp:587（STARTTLS）", for the lines of the report.
  QString label() const;
};

// One step of a connection test and how it went, as the test goes.
struct ProbeStepReport {
  enum class Step { Connect, Tls, Greeting, Ehlo, StartTls, Auth, Quit };

  Step step = Step::Connect;
  bool ok = false;
  bool alternative = false;  // a step of trying another port and encryption
  QString settings;          // ProbeSettings::label() of the connection
  QString text;              // the line for the user, e.g. "EHLO: 受け付けられました"
  QString serverText;        // the server's own words, when it said something
};

// How a connection test ended.
struct ProbeResult {
  bool works = false;            // a mail would go with these settings
  ProbeStepReport::Step failedStep = ProbeStepReport::Step::Connect;
  QString summary;               // 「この設定で送信できます。」 or what failed
  QString serverText;            // the server's own words at the failure
  QString advice;                // what to change
  // Another port and encryption that worked (password left out), when the
  // chosen pair failed at the connection or the encryption.
  std::optional<ProbeSettings> alternative;
};

Q_DECLARE_METATYPE(ProbeStepReport)
Q_DECLARE_METATYPE(ProbeResult)
