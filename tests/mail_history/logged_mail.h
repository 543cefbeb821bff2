#pragma once

// Log files as the program writes them: the mail text built by the
// program's own pieces (header lines, CP932 or MIME), then the log's CR LF.

#include "cp932.h"
#include "mail_settings.h"
#include "mail_text.h"
#include "mime_text.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>

namespace LoggedMail {

struct Typed {
  QString to = QStringLiteral("hanako@docomo.ne.jp");
  QString from = QStringLiteral("taro@example.jp");
  QString subject;
  QString body;  // as the box holds it, LF line breaks
  QDateTime date = QDateTime(QDate(2024, 5, 17), QTime(9, 30, 15), Qt::OffsetFromUTC, 9 * 3600);
};

inline QByteArray bytes(const Typed& mail, MailSettings::Charset charset, bool eightBit = false) {
  QString body = mail.body;
  body.replace(QLatin1Char('\n'), QLatin1String("\r\n"));  // as the send button passes it on
  QByteArray text = Cp932::fromUnicode(MailText::dateLine(mail.date) + MailText::fromLine(mail.from) +
                                              MailText::toLine(mail.to) + MailText::XMailerLine());
  if (charset == MailSettings::Charset::ShiftJis)
    text += Cp932::fromUnicode(MailText::subjectLine(mail.subject) + QStringLiteral("\r\n") +
                                      MailText::breakLongLines(body));
  else
    text += MimeText::compose(mail.subject, body, charset, eightBit, QStringLiteral("example.jp")).text;
  return text + "\r\n";
}

inline void write(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
  file.write(bytes);
}

}  // namespace LoggedMail
