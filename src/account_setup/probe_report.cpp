#include "probe_report.h"

QString ProbeSettings::label() const {
  QString security;
  switch (this->security) {
    case MailSettings::SmtpSecurity::None: security = QStringLiteral("暗号化なし"); break;
    case MailSettings::SmtpSecurity::StartTls: security = QStringLiteral("STARTTLS"); break;
    case MailSettings::SmtpSecurity::Ssl: security = QStringLiteral("SSL/TLS"); break;
  }
  return QStringLiteral("%1:%2（%3）").arg(server).arg(port).arg(security);
}
