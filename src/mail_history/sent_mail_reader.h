#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Reads a sent-mail log file back as the user typed the mail, in whichever
// form the program wrote it: raw Shift-JIS (CP932) without MIME headers,
// or MIME with ISO-2022-JP or UTF-8 (7bit, 8bit, base64, quoted-printable)
// and an encoded-word subject. GMime parses and decodes. Nothing is ever
// written to the file.
namespace SentMailReader {

struct SentMail {
  bool isMail = false;  // false: the file is no mail (empty, no header, unreadable)
  QDateTime date;       // the Date header; invalid when missing or unreadable
  QString to;
  QString from;
  QString subject;
  QString body;  // line breaks as LF, as the composing box holds them; empty when only the headers were read
};

// The most of a file that is read; a log file is a few kilobytes.
inline constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;

// The header fields only, from the header block at the file's beginning.
SentMail readHeaders(const QString& path);
// Headers and body.
SentMail readMail(const QString& path);

// The same from the file's bytes.
SentMail parseHeaders(const QByteArray& fileBytes);
SentMail parseMail(const QByteArray& fileBytes);

}  // namespace SentMailReader
