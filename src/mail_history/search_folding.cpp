#include "search_folding.h"

namespace SearchFolding {
namespace {

constexpr char16_t kFullWidthFirst = 0xFF01;  // ！
constexpr char16_t kFullWidthLast = 0xFF5E;   // ～
constexpr char16_t kFullWidthOffset = 0xFEE0;
constexpr char16_t kIdeographicSpace = 0x3000;
constexpr char16_t kHalfWidthKanaFirst = 0xFF61;  // ｡
constexpr char16_t kHalfWidthKanaLast = 0xFF9F;   // ﾟ

bool isHalfWidthKana(char16_t c) { return c >= kHalfWidthKanaFirst && c <= kHalfWidthKanaLast; }

char16_t asciiSmall(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c; }

// The characters a Japanese mail's character set trades for one another on
// the way out and back (Shift_JIS as Windows maps it against ISO-2022-JP as
// the standard does): what the user typed and what the log gives back must
// meet in one form. Full-width ASCII forms (－, ～, ...) are folded apart.
char16_t oneOfAPair(char16_t c) {
  switch (c) {
    case 0x2010: case 0x2011: case 0x2012: case 0x2013:  // hyphens, dashes
    case 0x2014: case 0x2015: case 0x2212:               // em dash, bar, minus
      return u'-';
    case 0x301C:  // wave dash
      return u'~';
    case 0xFFE2: return 0x00AC;  // ￢ ¬
    case 0x2225: return 0x2016;  // ∥ ‖
    case 0xFFE0: return 0x00A2;  // ￠ ¢
    case 0xFFE1: return 0x00A3;  // ￡ £
    default: return c;
  }
}

}  // namespace

QString fold(QStringView text) {
  QString folded;
  folded.reserve(text.size());
  qsizetype i = 0;
  while (i < text.size()) {
    const char16_t c = text[i].unicode();
    if (isHalfWidthKana(c)) {
      // A run of half-width katakana together, so that a sound mark joins
      // the letter before it (ｶﾞ is ガ, not カ and ゛).
      qsizetype end = i;
      while (end < text.size() && isHalfWidthKana(text[end].unicode())) ++end;
      folded += text.sliced(i, end - i).toString().normalized(QString::NormalizationForm_KC);
      i = end;
      continue;
    }
    if (c >= kFullWidthFirst && c <= kFullWidthLast)
      folded += QChar(asciiSmall(char16_t(c - kFullWidthOffset)));
    else if (c == kIdeographicSpace)
      folded += QLatin1Char(' ');
    else
      folded += QChar(asciiSmall(oneOfAPair(c)));
    ++i;
  }
  return folded;
}

}  // namespace SearchFolding
