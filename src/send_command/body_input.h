#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The body as a script hands it over: UTF-8 text, lines ending in LF or
// CR LF, perhaps with a final line break.
namespace BodyInput {

// The offset of the first byte that is not valid UTF-8; none when all is.
std::optional<qsizetype> firstInvalidUtf8(const QByteArray& bytes);

// The bytes without a character cut short at their end (input read only
// up to a number of bytes).
QByteArray withoutCutCharacter(const QByteArray& bytes);

// The text with every line break as CR LF (as the window hands the body to
// the engine), and without the one final line break a pipe brings.
QString asMailBody(const QString& text);

// The body cut after the last whole character whose count (as the window
// counts: a line break is 2 bytes) stays within limit bytes.
QString truncated(const QString& crLfBody, qsizetype limit);

// The body's count as the window counts it.
qsizetype byteCount(const QString& crLfBody);

}  // namespace BodyInput
