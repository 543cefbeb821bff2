#pragma once

#include "mail_settings.h"

#include <QString>

// How the program logs in to the SMTP server for one mail.
struct SmtpLogin {
  MailSettings::SmtpSecurity security = MailSettings::SmtpSecurity::None;
  bool auth = false;
  QString user;
  QString password;

  // EHLO and what may follow it, instead of the plain HELO.
  bool extended() const { return security == MailSettings::SmtpSecurity::StartTls || auth; }
};

// One mail as the user confirmed it: captured when the send button is
// pressed and confirmed, and not changed while it is sent.
struct OutgoingMail {
  QString recipient;  // as typed, blanks kept
  QString from;
  QString subject;    // line breaks removed
  QString body;       // as typed, lines ending in CR LF
  SmtpLogin login;
  MailSettings::Charset charset = MailSettings::Charset::ShiftJis;
};
