#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

// ISO-2022-JP (RFC 1468): ASCII and JIS X 0208 in 7 bits, the way Japanese
// mail has long been written. A text always ends back in ASCII.
namespace Iso2022Jp {

// The text in ISO-2022-JP, or nothing when a character of it has no place
// in JIS X 0208 (CP932's own characters such as ①, ㈱, 髙; half-width
// katakana; emoji; Hangul).
std::optional<QByteArray> encode(QStringView text);

// ISO-2022-JP text read back (what cannot be read becomes U+FFFD).
QString decode(const QByteArray& bytes);

}  // namespace Iso2022Jp
