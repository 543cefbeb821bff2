#include "body_input.h"

#include "cp932.h"
#include "plain_text.h"

#include <QStringDecoder>

namespace BodyInput {

std::optional<qsizetype> firstInvalidUtf8(const QByteArray& bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
  const qsizetype n = bytes.size();
  for (qsizetype i = 0; i < n;) {
    const unsigned char c = p[i];
    int length = 0;
    char32_t least = 0;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if ((c & 0xE0) == 0xC0) {
      length = 2;
      least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
      least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4;
      least = 0x10000;
    } else {
      return i;
    }
    if (i + length > n) return i;
    char32_t code = c & (0xFF >> (length + 1));
    for (int k = 1; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return i;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not UTF-8.
    if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return i;
    i += length;
  }
  return std::nullopt;
}

QByteArray withoutCutCharacter(const QByteArray& bytes) {
  for (qsizetype back = 1; back <= 4 && back <= bytes.size(); ++back) {
    const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: its lead is further back
    const int length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    return length > back ? bytes.left(bytes.size() - back) : bytes;
  }
  return bytes;
}

QString asMailBody(const QString& text) {
  QString body = text;
  body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  if (body.endsWith(u'\n')) body.chop(1);
  body.replace(QLatin1Char('\n'), kCrLf);
  return body;
}

// The command counts one body once: converting beats building the table.
qsizetype byteCount(const QString& crLfBody) { return Cp932::byteCount(crLfBody, Cp932::Counting::Conversion); }

QString truncated(const QString& crLfBody, qsizetype limit) {
  qsizetype bytes = 0;
  qsizetype end = 0;
  while (end < crLfBody.size()) {
    // CR LF goes or stays whole, as the window counts a line break.
    const qsizetype units = crLfBody.mid(end, 2) == kCrLf ? 2 : unitsOfCharacterAt(crLfBody, end);
    const qsizetype size = Cp932::byteCount(QStringView(crLfBody).sliced(end, units), Cp932::Counting::Conversion);
    if (bytes + size > limit) break;
    bytes += size;
    end += units;
  }
  return crLfBody.left(end);
}

}  // namespace BodyInput
