#include "scrambling.h"

#include "cp932.h"
#include "plain_text.h"

#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <optional>

namespace Scrambling {
namespace {

constexpr QChar kMark = u'@';
constexpr int kOffset = 3;

// The code page value of the character at i; a character beyond the BMP
// (a surrogate pair) is one character and becomes one "?".
std::int32_t codeAt(const QString& text, qsizetype i, qsizetype& units) {
  if (unitsOfCharacterAt(text, i) == 2) {
    units = 2;
    const QByteArray bytes = Cp932::fromUnicode(QStringView(text).sliced(i, 2));
    if (bytes.size() == 2) {
      return static_cast<std::int16_t>((static_cast<std::uint8_t>(bytes[0]) << 8) |
                                       static_cast<std::uint8_t>(bytes[1]));
    }
    return bytes.size() == 1 ? static_cast<std::uint8_t>(bytes[0]) : '?';
  }
  units = 1;
  return Cp932::charCode(text.at(i));
}

QString reversed(QStringView text) {
  QString out(text.size(), Qt::Uninitialized);
  std::reverse_copy(text.begin(), text.end(), out.begin());
  return out;
}

// A group of the reversed stored form: an optional "-" and decimal digits.
// Anything else, or a number too long for any code, is no number.
std::optional<std::int64_t> groupNumber(QStringView group) {
  bool negative = false;
  if (!group.isEmpty() && group.front() == u'-') {
    negative = true;
    group = group.sliced(1);
  }
  // Leading zeros are harmless; more significant digits than a code needs
  // are not (they would only overflow).
  while (group.size() > 1 && group.front() == u'0') group = group.sliced(1);
  if (group.isEmpty() || group.size() > 9) return std::nullopt;
  std::int64_t value = 0;
  for (const QChar c : group) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c.unicode() - u'0');
  }
  return negative ? -value : value;
}

}  // namespace

QString scramble(const QString& text) {
  if (text.isEmpty()) return QString();

  // Characters from the first to the last, each as its code plus 3; the
  // stored form is the reverse of W, where W lists them last to first as
  // "<number>@".
  QList<std::int32_t> codes;
  codes.reserve(text.size());
  for (qsizetype i = 0; i < text.size();) {
    qsizetype units = 1;
    codes.append(codeAt(text, i, units));
    i += units;
  }

  QString work;
  work.reserve(codes.size() * 8);
  for (auto it = codes.crbegin(); it != codes.crend(); ++it) {
    work += QString::number(*it + kOffset);
    work += kMark;
  }
  return reversed(work);
}

QString unscramble(const QString& stored) {
  if (stored.isEmpty()) return QString();

  const QString r = reversed(stored);
  const qsizetype marks = r.count(kMark);
  if (marks == 0) return QStringLiteral("1");

  // Each pass reads the group from pos up to the next "@" behind pos. The
  // characters come out last to first; they are put back in order below.
  QStringList pieces;
  pieces.reserve(marks);
  qsizetype pos = 0;
  for (qsizetype pass = 0; pass < marks; ++pass) {
    const qsizetype q = r.indexOf(kMark, pos + 1);
    if (q < 0) return QString();  // the value ends with "@"
    QString group = r.sliced(pos, q - pos);
    group.remove(kMark);
    const std::optional<std::int64_t> number = groupNumber(group);
    if (!number) return QString();
    const std::int64_t code = *number - kOffset;
    if (code < -32768 || code > 65535) return QString();
    pieces.append(Cp932::charFromCode(static_cast<std::int32_t>(code)));
    pos = q;
  }

  QString text;
  for (auto it = pieces.crbegin(); it != pieces.crend(); ++it) text += *it;
  return text;
}

}  // namespace Scrambling
