#pragma once

#include <QDateTime>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The pieces of the mail text and the checks on what goes into it.
namespace MailText {

// An address is valid when it holds "@", is at least 6 characters long and
// holds none of the characters below.
bool isValidAddress(const QString& address);

// A character that would end the address inside "RCPT TO:<...>" or the
// header line it goes into: "<", ">", ",", any blank, any control
// character (a line break would add a command or a header line, NUL goes
// out raw).
bool holdsCharacterNotInAddress(QStringView address);

// CR, LF, NUL or another control character: a value holding one would
// break the command line it goes into.
bool holdsControlCharacter(QStringView text);

// A host name of ASCII letters, digits and hyphens, labels of 1 to 63
// characters joined by dots, neither beginning nor ending with a hyphen.
bool isAsciiHostName(QStringView name);

// The subject with every CR and every LF removed.
QString subjectWithoutLineBreaks(const QString& subject);

// "Date:Mon, 22 Mar 2004 14:05:09 +0900" and CR LF: English day and month
// names, 24-hour time and the clock's offset from UTC.
QString dateLine(const QDateTime& now = QDateTime::currentDateTime());
QString fromLine(const QString& from);
QString toLine(const QString& to);
// "X-Mailer: Talvenor 2.1.0 by harbex7" and CR LF.
QString XMailerLine();
// "SUBJECT:" and the subject, cut at a character boundary where the line
// would pass the limit (998 octets in the code page, RFC 5321).
QString subjectLine(const QString& subject);

// The longest a line of the mail may be, in octets, without its CR LF.
inline constexpr qsizetype kMaxLineOctets = 998;

// The text with every line longer than maxOctets in the code page broken
// with CR LF after the last whole character that fits: a double-byte
// character is never split. Lines end at CR LF, a lone CR or a lone LF.
QString breakLongLines(const QString& text, qsizetype maxOctets = kMaxLineOctets);

// The mail text as it goes out after DATA: every line break made CR LF,
// every line that begins with "." given one more in front, and the
// terminating CR LF "." CR LF. Works on the bytes of any of the mail's
// character sets: none of them has CR, LF or "." inside a character.
QByteArray dataForWire(QByteArrayView message);

// The name HELO carries: the machine's host name when it is a valid ASCII
// host name, or "localhost".
QString heloDomain();

}  // namespace MailText
