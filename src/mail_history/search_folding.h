#pragma once

#include <QString>
#include <QStringView>

// Text prepared for the history's search: full-width ASCII (Ａ, ｂ, １, ＠)
// and the ideographic space become their ASCII forms, half-width katakana
// (ｶﾞ) the full-width ones (ガ), and ASCII letters small. Other letters keep
// their case.
namespace SearchFolding {

QString fold(QStringView text);

// Whether folded text holds the folded query (an empty query is in all).
inline bool matches(QStringView foldedText, QStringView foldedQuery) {
  return foldedText.contains(foldedQuery);
}

}  // namespace SearchFolding
