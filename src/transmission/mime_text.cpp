#include "mime_text.h"

#include "iso2022jp.h"
#include "mail_text.h"
#include "plain_text.h"

#include <QList>
#include <QUuid>

namespace MimeText {
namespace {

using Charset = MailSettings::Charset;

const QByteArray kCrLf = QByteArrayLiteral("\r\n");
using MailText::kMaxLineOctets;
// An encoded word in a header line: "SUBJECT: " or " " and the word stay
// under 76 characters.
constexpr qsizetype kMaxWord = 66;

QByteArray charsetName(Charset charset) {
  return charset == Charset::Iso2022Jp ? QByteArrayLiteral("ISO-2022-JP") : QByteArrayLiteral("UTF-8");
}

QByteArray encodeIn(Charset charset, QStringView text) {
  if (charset == Charset::Iso2022Jp) return Iso2022Jp::encode(text).value_or(QByteArray());
  return text.toUtf8();
}

// The lines of the text (split at CR LF, lone CR, lone LF).
QList<QStringView> linesOf(QStringView text) {
  QList<QStringView> lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    lines << text.sliced(start, i - start);
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  lines << text.sliced(start);
  return lines;
}

// Pieces of the line, whole characters each, whose encoding fits maxOctets
// (a character that alone does not fit is a piece of its own).
QList<QStringView> piecesOf(Charset charset, QStringView line, qsizetype maxOctets) {
  QList<qsizetype> boundaries;  // where each character begins, and the end
  for (qsizetype i = 0; i < line.size(); i += unitsOfCharacterAt(line, i)) boundaries << i;
  boundaries << line.size();

  QList<QStringView> pieces;
  qsizetype first = 0;  // index into boundaries
  while (first + 1 < boundaries.size()) {
    // The most characters from first on whose encoding fits: the encoded
    // length only grows with the piece, so search for it.
    qsizetype low = first + 1, high = boundaries.size() - 1;
    while (low < high) {
      const qsizetype middle = (low + high + 1) / 2;
      const QStringView piece = line.sliced(boundaries[first], boundaries[middle] - boundaries[first]);
      if (encodeIn(charset, piece).size() <= maxOctets)
        low = middle;
      else
        high = middle - 1;
    }
    pieces << line.sliced(boundaries[first], boundaries[low] - boundaries[first]);
    first = low;
  }
  return pieces;
}

// The body with every line in the charset, broken where it would pass
// SMTP's limit, lines ending in CR LF.
QByteArray bodyLines(Charset charset, const QString& body) {
  QByteArray out;
  const QList<QStringView> lines = linesOf(body);
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QStringView line = lines[i];
    const QByteArray whole = encodeIn(charset, line);
    if (whole.size() <= kMaxLineOctets) {
      out += whole;
    } else {
      const QList<QStringView> pieces = piecesOf(charset, line, kMaxLineOctets);
      for (qsizetype p = 0; p < pieces.size(); ++p) {
        if (p > 0) out += kCrLf;
        out += encodeIn(charset, pieces[p]);
      }
    }
    if (i + 1 < lines.size()) out += kCrLf;
  }
  return out;
}

QByteArray base64Lines(const QByteArray& bytes) {
  const QByteArray encoded = bytes.toBase64();
  QByteArray out;
  for (qsizetype i = 0; i < encoded.size(); i += 76) {
    if (i > 0) out += kCrLf;
    out += encoded.mid(i, 76);
  }
  return out;
}

bool carries(Charset charset, const QString& text) {
  return charset != Charset::Iso2022Jp || Iso2022Jp::encode(text).has_value();
}

// A line of the body passes SMTP's limit when written in the charset.
bool hasLongLine(Charset charset, const QString& body) {
  // A UTF-16 unit takes at most 8 octets (an ISO-2022-JP character between
  // two ASCII ones, with both escapes), so shorter text cannot pass it.
  if (body.size() * 8 <= kMaxLineOctets) return false;
  for (const QStringView line : linesOf(body))
    if (line.size() * 8 > kMaxLineOctets && encodeIn(charset, line).size() > kMaxLineOctets) return true;
  return false;
}

// A NUL byte may travel in neither a 7bit nor an 8bit part (RFC 2045
// 2.7, RFC 6152): a body holding one goes in base64, whole.
bool holdsNul(const QString& body) { return body.contains(QChar(u'\0')); }

}  // namespace

Charset charsetFor(const QString& subject, const QString& body, Charset chosen) {
  if (!carries(chosen, subject) || !carries(chosen, body) || holdsNul(body)) return Charset::Utf8;
  if (chosen == Charset::Iso2022Jp && hasLongLine(chosen, body)) return Charset::Utf8;
  return chosen;
}

bool goesAsEightBit(const QString& subject, const QString& body, Charset chosen) {
  return charsetFor(subject, body, chosen) == Charset::Utf8 && !hasLongLine(Charset::Utf8, body) && !holdsNul(body);
}

QByteArray subjectLines(const QString& subject, Charset charset) {
  const QByteArray name = QByteArrayLiteral("SUBJECT: ");
  if (subject.isEmpty()) return QByteArrayLiteral("SUBJECT:") + kCrLf;
  const QByteArray prefix = "=?" + charsetName(charset) + "?B?";
  // The most encoded bytes a word can hold: base64 makes 4 of every 3.
  const qsizetype room = (kMaxWord - prefix.size() - 2) / 4 * 3;
  QByteArray out = name;
  const QList<QStringView> words = piecesOf(charset, subject, room);
  for (qsizetype i = 0; i < words.size(); ++i) {
    if (i > 0) out += kCrLf + ' ';
    out += prefix + encodeIn(charset, words[i]).toBase64() + "?=";
  }
  return out + kCrLf;
}

QByteArray messageId(const QString& senderDomain) {
  // Only a plain host name goes into the header; anything else (a domain
  // in Japanese, stray characters) would go out as raw bytes.
  const QString domain = MailText::isAsciiHostName(senderDomain) ? senderDomain : MailText::heloDomain();
  return '<' + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '@' + domain.toLatin1() + '>';
}

Composed compose(const QString& subject, const QString& body, Charset charset, bool eightBit,
                 const QString& senderDomain) {
  charset = charsetFor(subject, body, charset);

  BodyEncoding encoding = BodyEncoding::SevenBit;
  QByteArray encodedBody;
  if (charset == Charset::Iso2022Jp) {
    encodedBody = bodyLines(charset, body);
  } else if (eightBit && !hasLongLine(charset, body) && !holdsNul(body)) {
    encoding = BodyEncoding::EightBit;
    encodedBody = bodyLines(charset, body);
  } else {
    encoding = BodyEncoding::Base64;
    QByteArray utf8;
    const QList<QStringView> lines = linesOf(body);
    for (qsizetype i = 0; i < lines.size(); ++i) {
      if (i > 0) utf8 += kCrLf;
      utf8 += lines[i].toUtf8();
    }
    encodedBody = base64Lines(utf8);
  }

  const QByteArray transfer = encoding == BodyEncoding::SevenBit ? QByteArrayLiteral("7bit")
                              : encoding == BodyEncoding::EightBit ? QByteArrayLiteral("8bit")
                                                                   : QByteArrayLiteral("base64");
  QByteArray text = subjectLines(subject, charset);
  text += "Message-ID: " + messageId(senderDomain) + kCrLf;
  text += "MIME-Version: 1.0" + kCrLf;
  text += "Content-Type: text/plain; charset=" + charsetName(charset) + kCrLf;
  text += "Content-Transfer-Encoding: " + transfer + kCrLf;
  text += kCrLf + encodedBody;
  return {text, charset, encoding};
}

}  // namespace MimeText
