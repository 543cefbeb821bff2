#pragma once

#include <QString>

// Line breaks in the program's own texts (message boxes, the mail) are CR LF.
inline const QString kCrLf = QStringLiteral("\r\n");

// Blank means nothing but the space character: other white space (a tab,
// a full-width space) counts as an entry.
inline bool isBlank(const QString& text) {
  for (const QChar c : text)
    if (c != QLatin1Char(' ')) return false;
  return true;
}
