#pragma once

#include "mail_settings.h"

#include <QByteArray>
#include <QString>

// The mail text of the MIME modes (Charset ISO-2022-JP or UTF-8): the
// subject as RFC 2047 encoded words, the MIME headers, a Message-ID, and
// the body in the declared character set, every line within SMTP's limit.
//
// A mail that ISO-2022-JP cannot carry whole (CP932's own characters such
// as ㈱ or 髙, half-width katakana, emoji) goes as UTF-8 instead: the text
// arrives as typed, never with "?" in place of a character.
namespace MimeText {

enum class BodyEncoding { SevenBit, Base64, EightBit };

struct Composed {
  QByteArray text;  // from the SUBJECT line to the end of the body, CR LF throughout
  MailSettings::Charset charset;  // as sent (UTF-8 where ISO-2022-JP could not carry the mail)
  BodyEncoding encoding;
};

// The character set a mail goes in: the chosen one, or UTF-8 where
// ISO-2022-JP cannot carry the subject or the body, or where a body line
// would pass SMTP's 998 octets (base64 carries it whole; a line broken in
// ISO-2022-JP would reach the reader broken), or where the body holds a NUL
// (which no 7bit or 8bit part may carry: base64 carries it).
MailSettings::Charset charsetFor(const QString& subject, const QString& body, MailSettings::Charset chosen);

// The body may go unencoded to a server that announced 8BITMIME: UTF-8
// with no line past SMTP's limit and no NUL (such a body goes in base64).
bool goesAsEightBit(const QString& subject, const QString& body, MailSettings::Charset chosen);

// eightBit: the server announced 8BITMIME (UTF-8 then goes unencoded
// where goesAsEightBit allows).
// senderDomain goes into the Message-ID.
Composed compose(const QString& subject, const QString& body, MailSettings::Charset charset, bool eightBit,
                 const QString& senderDomain);

// "SUBJECT: " and the subject as encoded words, folded so that no line
// reaches 76 characters; each word holds whole characters (in ISO-2022-JP
// each ends back in ASCII). An empty subject stays empty.
QByteArray subjectLines(const QString& subject, MailSettings::Charset charset);

// "<unique@domain>" for the Message-ID header: the sender's domain when it
// is a valid ASCII host name, else the machine's (or "localhost").
QByteArray messageId(const QString& senderDomain);

}  // namespace MimeText
