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
      folded += QChar(asciiSmall(c));
    ++i;
  }
  return folded;
}

}  // namespace SearchFolding
