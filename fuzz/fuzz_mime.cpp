// The MIME mail text built from any subject and body: the subject's lines
// stay under 76 characters, no line of the mail passes 998 octets, a 7-bit
// mail has no byte above 127, and nothing crashes.
//
// Input: byte 0 picks the character set (bit 0: ISO-2022-JP, else UTF-8)
// and bit 1 8BITMIME; the rest is UTF-16 text, the subject up to the first
// U+0000 and the body after it.
#include "mime_text.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto charset = (data[0] & 1) ? MailSettings::Charset::Iso2022Jp : MailSettings::Charset::Utf8;
  const bool eightBit = data[0] & 2;
  const QString text(reinterpret_cast<const QChar*>(data + 1), qsizetype((size - 1) / 2));
  const qsizetype split = text.indexOf(QChar(0));
  const QString subject = split < 0 ? text : text.left(split);
  const QString body = split < 0 ? QString() : text.mid(split + 1);

  const MimeText::Composed mail = MimeText::compose(subject, body, charset, eightBit, QStringLiteral("example.jp"));
  const qsizetype headerEnd = mail.text.indexOf("\r\n\r\n");
  check(headerEnd >= 0);
  bool inSubject = false;
  for (const QByteArray& line : mail.text.left(headerEnd).split('\n')) {
    inSubject = line.startsWith("SUBJECT:") || (inSubject && line.startsWith(' '));
    if (inSubject) check(line.size() <= 76);
  }
  for (const QByteArray& line : mail.text.split('\n')) check(line.size() <= 999);
  if (mail.encoding != MimeText::BodyEncoding::EightBit)
    for (const char c : mail.text) check(static_cast<unsigned char>(c) < 0x80);
  return 0;
}
