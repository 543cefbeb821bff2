#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <cstdint>

// The program's ANSI code page: Shift-JIS as Windows has it (CP932).
// Every boundary where text leaves the program (settings file, socket, log
// files, scrambling codes) goes through here. A character the code page
// cannot hold becomes a close match where one exists, otherwise "?".
namespace Cp932 {

QByteArray fromUnicode(QStringView text);
QString toUnicode(QByteArrayView bytes);

// The characters of the text the code page cannot hold (they would become
// "?"), each once, in the order they first appear.
QString unmappable(QStringView text);

// How byteCount counts text that is not plain ASCII; the figures are the
// same. A window counts the body at every keystroke: a table of every BMP
// unit's length, built once per thread (tens of millions of instructions,
// a few milliseconds), makes each count a look-up. Text counted once (a
// mail being sent, the command's body) is quicker converted.
enum class Counting { Table, Conversion };

// Number of bytes the text occupies in the code page (LF counts 1).
qsizetype byteCount(QStringView text, Counting how);

// The character's code as the scrambling uses it: one byte gives 0..255,
// two bytes give lead * 256 + trail as a signed 16-bit number.
std::int16_t charCode(QChar c);

// The character (one or two bytes) for a code; the inverse of charCode.
QString charFromCode(std::int32_t code);

}  // namespace Cp932
