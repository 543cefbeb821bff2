#pragma once

#include <QString>

// The light scrambling of addresses, server names and the POP login in
// Data.ini: each character's code page value plus 3, written backwards,
// behind an "@". It hides values from a glance at the file, nothing more.
namespace Scrambling {

QString scramble(const QString& text);

// The text back from its stored form. A non-empty value without "@" gives
// "1"; an ill-formed value gives the empty text.
QString unscramble(const QString& stored);

}  // namespace Scrambling
