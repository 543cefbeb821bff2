#pragma once

#include <QString>

// Blank means nothing but the space character: other white space (a tab,
// a full-width space) counts as an entry.
inline bool isBlank(const QString& text) {
  for (const QChar c : text)
    if (c != QLatin1Char(' ')) return false;
  return true;
}
