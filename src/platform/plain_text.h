#pragma once

#include <QString>
#include <QStringView>

// Line breaks in the program's own texts (message boxes, the mail) are CR LF.
inline const QString kCrLf = QStringLiteral("\r\n");

// Blank means nothing but the space character: other white space (a tab,
// a full-width space) counts as an entry.
inline bool isBlank(const QString& text) {
  for (const QChar c : text)
    if (c != QLatin1Char(' ')) return false;
  return true;
}

// The text without the blanks around it, half-width and full-width (U+3000)
// alike: what is pasted with an address or a server name is not part of it.
inline QString trimBlanks(const QString& text) {
  const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QChar(0x3000); };
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

// UTF-16 units of the character at i: 2 for a surrogate pair (one
// character beyond the BMP, an emoji say), else 1.
inline qsizetype unitsOfCharacterAt(QStringView text, qsizetype i) {
  return text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
}

// Fills a secret's memory before letting it go. A copy that shares the
// text keeps its own: Qt copies on write.
inline void wipe(QString& text) {
  text.fill(QLatin1Char('\0'));
  text.clear();
}
